#pragma once

#include <QObject>
#include <functional>

// Calls a routine once each time the event queue of the outermost event loop has been
// emptied: after the events of one wake-up have been served, before the loop blocks again.
// It does not call it while a command transaction or a timed pause serves events, inside a
// modal window's loop, or while the routine itself runs.
class IdleDriver : public QObject {
    Q_OBJECT
public:
    explicit IdleDriver(std::function<void()> routine, QObject* parent = nullptr);

private:
    bool mayRun() const;
    void fire();

    std::function<void()> m_routine;
    bool m_pending = false;
    bool m_done = false;
    bool m_running = false;
};
