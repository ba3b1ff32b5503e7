#pragma once

#include <QObject>
#include <functional>

// Calls a routine once each time the event queue of the outermost event loop has been
// emptied after serving events: after the events of one wake-up have been served, before the
// loop blocks again. Then it waits for the next event instead of calling again at once, so an
// idle program sleeps. It does not call it while a command transaction or a timed pause serves
// events, inside a modal window's loop, or while the routine itself runs.
class IdleDriver : public QObject {
    Q_OBJECT
public:
    explicit IdleDriver(std::function<void()> routine, QObject* parent = nullptr);
    ~IdleDriver() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool mayRun() const;
    void fire();

    std::function<void()> m_routine;
    // An event other than the driver's own call has been served since the routine last ran.
    bool m_served = true;
    bool m_pending = false;
    bool m_running = false;
};
