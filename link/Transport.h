#pragma once

#include <QByteArray>
#include <QString>
#include <atomic>
#include <memory>

// The line settings a transport is asked for. A local device takes them; an RFC 2217 server
// is asked to set them on its port; a raw TCP stream has them fixed on the server.
struct LineConfig {
    enum class Parity { None, Odd, Even, Mark, Space };
    enum class Flow { None, Hardware, Software };
    qint32 baudRate = 115200;
    int dataBits = 8;
    Parity parity = Parity::Even;
    int stopBits = 2; // 1 or 2; 3 stands for 1.5
    Flow flow = Flow::None;
};

// The round trip to a remote line in milliseconds, learnt as TCP learns it for its
// retransmission timer: a smoothed round trip and its mean deviation, fed by each reply's
// time from the frame out to its first byte in. A raw TCP handshake only gives a floor (a
// forwarder nearby answers it at once, whatever lies behind); until a reply has been timed
// the margin is a generous one, so that no early reply is missed and taken for the next.
// Once a frame has gone unanswered with it, the margin is a guess from the floor, so that a
// line where nothing answers is not waited on a second longer for every frame. The guess
// ends with the first byte that comes: a reply then may be one an earlier frame's short
// wait missed, so its time tells nothing, and the generous margin holds again.
// Remembered per port name for the whole program, so that the next connection to the same
// line starts from what was learnt.
class RoundTrip {
public:
    // The margin before any reply has been timed.
    static constexpr int UnknownMarginMs = 1000;

    explicit RoundTrip(const QString& portName = {});
    // The learnt round trip (at least the floor; 0 while nothing is known).
    int ms() const;
    // What reply time-outs add: the round trip and four deviations (at least a little).
    int marginMs() const;
    // Replies timed so far (in this program, on this port).
    int samples() const { return m_state.samples; }
    // The round trip cannot be shorter than this (a TCP handshake).
    void floor(qint64 ms);
    // A frame had no reply within the margin while nothing had been timed yet.
    void silence();
    // What was learnt from replies is forgotten (they may have been taken for the wrong
    // frames): the generous margin holds until the next reply is timed, with no guess.
    void relearn();
    // The margin is a guess from the floor: frames went unanswered and nothing came since.
    bool guessed() const { return m_state.samples == 0 && m_state.silent > 0 && !m_state.heard; }
    // One timed answer: a reply's first byte, or the answer of an RFC 2217 server.
    void sample(qint64 ms);
    // What the program learnt of this port's round trip so far (0: nothing).
    static int remembered(const QString& portName);

    // What is known of a line's round trip (smoothed, mean deviation, floor; ms).
    struct State {
        double srtt = 0, rttvar = 0;
        int floor = 0, samples = 0;
        int silent = 0;     // frames unanswered before the first reply was timed
        bool heard = false; // a reply came while the margin was a guess
    };

private:
    void remember() const;
    QString m_name;
    State m_state;
};

// One line to the head-end, whatever carries it: a local serial device, a raw TCP stream to
// a terminal server (tcp://HOST:PORT), a telnet session with the com-port option of
// RFC 2217 (rfc2217://HOST:PORT) or the line a site agent lends (agent:SOCKET or
// ssh://[USER@]HOST[:PORT][/LINE]). Chosen by the port name; nothing above it knows which.
//
// Byte-level and descriptor-based, so that it serves both users: the link's port on the GUI
// thread (a socket notifier on descriptor() tells when to readAvailable()) and the raw
// channel of the pages on a worker thread (waitReadable() blocks). One thread at a time.
//
//   auto line = Transport::forPort("rfc2217://10.1.2.3:4001");
//   if (!line->open(LineConfig{})) ...line->errorString()...;
//   line->write("!0\r");
//   QByteArray in;
//   while (line->waitReadable(100) && line->readAvailable(in)) ...;
//   line->close();
class Transport {
public:
    enum class Kind { Device, RawTcp, Rfc2217, Agent };
    // How long setting up a remote connection may take before it counts as failed.
    static constexpr int ConnectLimitMs = 3000;
    // Long waits look at the cancel flag this often.
    static constexpr int CancelCheckMs = 50;
    // What the error of a remote line says when its server lends the line to one client at
    // a time and another has it.
    static constexpr const char* InUseText = "the line is in use by another client";

    virtual ~Transport();
    Transport(const Transport&) = delete;
    Transport& operator=(const Transport&) = delete;

    // The transport for a port name; a name that is not a remote one is a local device.
    static std::unique_ptr<Transport> forPort(const QString& portName);
    static Kind kindOf(const QString& portName);
    // A line lent within this program on one end of a socket pair (taken over), called name.
    static std::unique_ptr<Transport> overSocket(int socket, const QString& name);
    static bool isRemote(const QString& portName) { return kindOf(portName) != Kind::Device; }
    // Device path of a local port name: "COMn" is /dev/ttyS<n-1>, "ttyX" is /dev/ttyX.
    static QString devicePath(const QString& portName);
    // The same, and "DEMO" is the demo head-end's terminal (started when needed); empty with
    // *error set when there is none.
    static QString deviceFor(const QString& portName, QString* error);
    // Whether a remote name is complete (scheme, host, port 1-65535); "" when it is, else why.
    static QString checkRemoteName(const QString& portName);

    Kind kind() const { return m_kind; }
    QString portName() const { return m_name; }

    // Opens the line and sets it up; false with errorString() ("name: reason") when it cannot.
    virtual bool open(const LineConfig& line) = 0;
    void close();
    bool isOpen() const { return m_fd >= 0; }
    // For poll() and socket notifiers; -1 while closed.
    int descriptor() const { return m_fd; }
    QString errorString() const { return m_error; }

    // Appends the line data that has arrived, without waiting. False when the line has gone
    // (unplugged, connection dropped): the transport is closed then and errorString() says why.
    virtual bool readAvailable(QByteArray& data) = 0;
    // Waits up to ms for something to read (or for the line to go); false after the time or
    // once cancelled.
    bool waitReadable(int ms) const;
    // All bytes, waiting for room at most 50 ms per byte plus a second; false when not all
    // went (the line has gone or does not take them).
    virtual bool write(const QByteArray& bytes) = 0;
    // What the line takes of the bytes now, without waiting: how many went (the first ones),
    // -1 when the line has gone. For a writer that must never block (the monitor's bridge).
    qint64 writeSome(const QByteArray& bytes);
    // Discards what waits in the receive and/or transmit direction.
    virtual void purge(bool rx, bool tx) = 0;
    // Waits (at most limitMs) until everything written has left this machine.
    void drain(int limitMs);
    // A short break-like pulse on the serial line. False (with errorString()) when the
    // transport cannot give one: a raw TCP stream carries data only.
    virtual bool lineBreak() = 0;

    // What is learnt of the round trip to the line, and what reply time-outs add for it
    // (0 for a local device).
    const RoundTrip& roundTrip() const { return m_roundTrip; }
    int roundTripMs() const { return m_kind == Kind::Device ? 0 : m_roundTrip.marginMs(); }
    void noteReplyTime(qint64 ms) {
        if (m_kind != Kind::Device)
            m_roundTrip.sample(ms);
    }
    void noteSilence() {
        if (m_kind != Kind::Device)
            m_roundTrip.silence();
    }
    void relearnRoundTrip() { m_roundTrip.relearn(); }
    // Makes a running open() (in another thread) give up soon: it fails then.
    void cancel() { m_cancelled = true; }

protected:
    Transport(Kind kind, const QString& portName);
    // Releases the descriptor (and what the kind keeps besides).
    virtual void release();
    bool fail(const QString& reason);
    // Writes to the descriptor with the limit of write(); send() for sockets.
    bool writeAll(const QByteArray& bytes, bool socket);
    // A read that returned n (errno when negative): true to go on, false when the line went.
    bool keepReading(qint64 n, const QString& goneText);

    Kind m_kind;
    QString m_name;
    int m_fd = -1;
    QString m_error;
    RoundTrip m_roundTrip;
    std::atomic<bool> m_cancelled{false};
};
