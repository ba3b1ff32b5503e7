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
#include <thread>

// A scripted far end of the serial line for tests: a pseudo-terminal whose slave side the
// program opens like any serial port. The test says what to answer to each frame (bytes,
// delay, silence) and reads back every byte the program sent.
//
// Frames are split as the program sends them: "!" 0xC0|0xC1 X is a select frame of three
// bytes, any other "!" frame runs up to its CR, and every byte outside a frame is a frame of
// its own (console keys, a line-break pulse).
class PtyPeer {
public:
    struct Reply {
        QByteArray bytes;
        int delayMs = 0;
    };
    // Answer to a frame, or nothing for silence.
    using Responder = std::function<std::optional<Reply>(const QByteArray& frame)>;

    PtyPeer();
    ~PtyPeer();
    PtyPeer(const PtyPeer&) = delete;
    PtyPeer& operator=(const PtyPeer&) = delete;

    // Path of the slave side, to be used as the port name.
    QString path() const { return m_path; }

    // Answers frames with this function (replaces any earlier one).
    void setResponder(Responder responder);
    // Answers the next frame that finds the queue non-empty with this reply (before the
    // responder is asked). An empty reply means silence for that frame.
    void queue(const QByteArray& bytes, int delayMs = 0);
    // Sends bytes unasked, after delayMs.
    void send(const QByteArray& bytes, int delayMs = 0);

    QByteArray received() const;
    QList<QByteArray> frames() const;
    void clearReceived();
    // Blocks (without serving Qt events) until n frames have come in, or ms have passed.
    bool waitForFrames(int n, int ms) const;

    // The line settings the program's port has put on the terminal.
    using LineState = PtyEndpoint::LineState;
    LineState lineState() const;

    // The line goes away: the program's port sees the device vanish.
    void hangUp();

private:
    void run();
    void onBytes(const QByteArray& bytes);
    void onFrame(const QByteArray& frame);
    void schedule(const QByteArray& bytes, int delayMs);
    void wake();

    QString m_path;
    int m_master = -1;
    int m_slave = -1;
    int m_wakePipe[2] = {-1, -1};
    std::thread m_thread;
    bool m_stop = false;

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    Responder m_responder;
    std::deque<Reply> m_queued;
    std::deque<std::pair<qint64, QByteArray>> m_outgoing; // due time (ms), bytes
    QByteArray m_received;
    QByteArray m_partial;
    QList<QByteArray> m_frames;
};
