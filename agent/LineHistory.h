#pragma once

#include "link/LineObserver.h"
#include "link/SerialPort.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QObject>
#include <deque>

// Every frame on the agent's line, named as the line monitor names it: the agent's own scans
// and polls, its clients' operations and what goes over the line while it is lent. It taps
// the port (after whatever tapped it before) and keeps the last frames in a ring, so that a
// client that comes later sees the last minutes; each frame is also told as it comes.
//
// A frame in JSON: {"time": "14:03:11.042", "dir": ">"|"<"|" "|"#", "bytes": "21 C0 80",
// "meaning", "kind": the monitor's filter name ("Selects", ...), "module": "G/S" or "",
// "trace": the line orvex-cli --trace writes for it (empty for the decoder's notes)}.
class LineHistory : public QObject {
    Q_OBJECT
public:
    static constexpr int DefaultFrames = 20000;

    explicit LineHistory(SerialPort& port, int maxFrames = DefaultFrames,
                         QObject* parent = nullptr);
    // The port gets its tap of before back.
    ~LineHistory() override;

    static QJsonObject json(const LineFrame& frame);
    // The ring, oldest first; the newest `last` frames only when it is above 0.
    QJsonArray recent(int last = 0) const;

Q_SIGNALS:
    void frame(const QJsonObject& frame);

private:
    void take(const LineFrame& f);

    SerialPort& m_port;
    SerialPort::Tap m_before;
    LineObserver m_observer;
    std::deque<LineFrame> m_ring;
    int m_max;
};
