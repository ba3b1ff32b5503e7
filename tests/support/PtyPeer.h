#pragma once

#include "sim/PtyEndpoint.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>

// A scripted far end of the serial line for tests: a pseudo-terminal whose slave side the
// program opens like any serial port. The test says what to answer to each frame (bytes or
// silence) and reads back every byte the program sent. Our own handle on the slave keeps
// the line up while the program closes and opens its port, and shows its line settings.
//
// Frames are split as the program sends them: "!" 0xC0|0xC1 X is a select frame of three
// bytes, any other "!" frame runs up to its CR, and every byte outside a frame is a frame of
// its own (console keys, a line-break pulse).
class PtyPeer {
public:
    struct Reply {
        QByteArray bytes;
        int pauseMs = 0; // > 0: the bytes go one at a time with this pause between them
    };
    // Answer to a frame, or nothing for silence. Runs on the peer's reader thread.
    using Responder = std::function<std::optional<Reply>(const QByteArray& frame)>;
    // A responder: every "!" frame acknowledged, no byte outside a frame answered.
    static std::optional<Reply> acknowledge(const QByteArray& frame);
    // The whole frames at the front of bytes (a peer's record or a head-end's), taken off it;
    // what stays is the start of the next one.
    static QList<QByteArray> takeFrames(QByteArray& bytes);
    static bool isSelect(const QByteArray& frame);
    // A frame as a person reads it: "S1/4" a select frame of subrack 1 slot 4, "#03" a special
    // command, else the body between "!" and CR with LF shown as ","; a byte outside a frame
    // as itself.
    static QString readable(const QByteArray& frame);

    PtyPeer();
    ~PtyPeer();

    QString path() const { return m_line.path(); }
    void setResponder(Responder responder);
    // Answers the next frame that finds the queue non-empty with these bytes (before the
    // responder is asked); empty bytes mean silence for that frame.
    void queue(const QByteArray& bytes);
    // Sends bytes unasked, at once.
    void send(const QByteArray& bytes) { m_line.write(bytes); }

    QByteArray received() const;
    QList<QByteArray> frames() const;
    void clearReceived();
    // Blocks (without serving Qt events) until n frames have come in, or ms have passed.
    bool waitForFrames(int n, int ms = 5000) const;

    // The line settings the program's port has put on the terminal, and as a person writes
    // them: "115200 8E2", " RTS/CTS" behind under hardware flow control.
    using LineState = PtyEndpoint::LineState;
    LineState lineState() const;
    static QString text(const LineState& line);

    // The line goes away: the program's port sees the device vanish.
    void hangUp();

private:
    void onBytes(const QByteArray& bytes);
    void onFrame(const QByteArray& frame);

    PtyEndpoint m_line;
    int m_slave = -1;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    Responder m_responder;
    std::deque<QByteArray> m_queued;
    QByteArray m_received;
    QByteArray m_partial;
    QList<QByteArray> m_frames;
};
