#pragma once

#include "link/Transport.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>

// The page window's own handle on the line: the port opened exclusively (a local device, or
// a terminal server's port: see Transport) and driven with plain byte reads and writes,
// without the command transaction. Used from one thread at a time (the pages worker), so it
// needs no locking of its own. A line that goes away while the channel is open is opened
// again by the next write, so that the next request of the browser finds it back; the
// module is addressed again first (others may have used the line meanwhile).
class RawChannel {
public:
    // A read of one byte gives up after this long without a byte (50 ms interval plus
    // 1 ms per byte plus 100 ms constant, as the modules' line timing was designed for),
    // plus the round trip of a remote line.
    static constexpr int ReadByteTimeoutMs = 101;
    // The module's answer to its select frame on a line just opened again: waited for
    // longer, once, since nothing can be asked of it before.
    static constexpr int SelectAnswerMs = 1000;

    RawChannel() = default;
    ~RawChannel();
    RawChannel(const RawChannel&) = delete;
    RawChannel& operator=(const RawChannel&) = delete;

    // Opens and configures the port: 115200 baud, 8 data bits, even parity, one stop bit,
    // raw, no flow control, DTR and RTS off. False (and closed) when it cannot. The select
    // frame, when given, goes out whenever the line had to be opened again, and its ACK must
    // come before anything else is written.
    bool OpenRawPort(const QString& portName, const QByteArray& selectFrame = {});
    // The same on a transport of the caller's.
    bool open(std::unique_ptr<Transport> line, const QByteArray& selectFrame);
    // Opened and not yet closed (also while a lost line waits to be opened again).
    bool isOpen() const { return m_line != nullptr; }
    QString errorString() const { return m_error; }
    // The round trip to a remote line (0 for a local device).
    int roundTripMs() const { return m_line ? m_line->roundTripMs() : 0; }

    // One byte within the time-out (by default the read time-out above); -1 when none came.
    int readByte(int timeoutMs = -1);
    // All bytes in one call (within the write time-out); the outcome is not examined by the
    // protocol, but false tells that not everything left.
    bool write(const QByteArray& bytes);
    // Discards both queues, ours included.
    void purge();
    void close();

    // Sees every byte on the line, as the link's port does (SerialPort::Tap): dir '>' for
    // what is written, '<' for what is read. Called on the thread that uses the channel.
    using Tap = std::function<void(char dir, const QByteArray& bytes)>;
    void setTap(Tap tap) { m_tap = std::move(tap); }

private:
    bool ensureLine();
    bool selectAgain();
    bool fill(int timeoutMs);

    std::unique_ptr<Transport> m_line;
    QString m_error;
    QByteArray m_select;
    bool m_selectDue = false; // the line was opened again and the module not yet addressed
    QByteArray m_in;          // bytes read from the line and not yet handed out
    qsizetype m_inPos = 0;
    Tap m_tap;
};
