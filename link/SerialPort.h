#pragma once

#include "link/LineSettings.h"
#include "link/Transport.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <functional>
#include <memory>

class QSocketNotifier;

// The serial port of the link: what the program needs of its port on top of the line's
// transport (Transport: a local device, raw TCP or RFC 2217, chosen by the port name): a
// receive queue it can count and read exactly, an event character reported once per
// arrival, and port names as the user knows them ("COM3", "ttyUSB0", "/dev/ttyS0", "DEMO",
// "tcp://HOST:PORT", "rfc2217://HOST:PORT").
class SerialPort : public QObject {
    Q_OBJECT
public:
    // What the port reports: nothing, the arrival of the event character, or every arrival.
    enum class EventMask { None, RxFlag, RxChar };

    explicit SerialPort(QObject* parent = nullptr);
    ~SerialPort() override;

    QString portName() const { return m_name; }
    void setPortName(const QString& name);
    // The port name is a terminal server's (tcp:// or rfc2217://).
    bool isRemote() const;

    // Settings take effect at the next open.
    LineSettings& settings() { return m_settings; }
    const LineSettings& settings() const { return m_settings; }

    // Opens the line; false with errorString() when it cannot be opened.
    bool open();
    // Opens this line instead of the port name's (one lent within this program).
    bool open(std::unique_ptr<Transport> line);
    void close();
    bool isOpen() const;
    // Bytes that must reach the line before anything else when the port opens next: what
    // could not be said while the line was gone (a console that was never told to end keeps
    // every module on the bus from hearing its frames).
    void sendOnOpen(const QByteArray& bytes);
    QString errorString() const { return m_error; }

    void setEventChar(char c) { m_eventChar = c; }
    void setEventMask(EventMask mask) { m_mask = mask; }
    EventMask eventMask() const { return m_mask; }

    // Queues all bytes for sending in one call; false when the port is not open.
    bool write(const QByteArray& bytes);
    // Queues what the line takes now without waiting: how many of the bytes went (the first
    // ones); -1 when the port is not open or the line has gone (lost is reported then).
    qint64 writeSome(const QByteArray& bytes);
    // Exact number of bytes waiting at the time of the call.
    int bytesWaiting();
    // Reads up to n waiting bytes.
    QByteArray read(int n);
    // Waits (without serving events) up to ms for more bytes; true when some came.
    bool waitForBytes(int ms);
    // Discards the receive and/or transmit queue (on an RFC 2217 line the server's too).
    void purge(bool rx, bool tx);
    // Waits until everything written has left.
    void flush();
    // The break-like pulse of "LineBreak": opens the port, sends it (one zero byte at 19200
    // baud on a local device, the break control through RFC 2217) and leaves the port
    // closed. False with errorString() when the port cannot be opened or, on a raw TCP line,
    // cannot carry a break (nothing is sent then).
    bool lineBreak();

    // The round trip to a remote line as learnt so far (RoundTrip), and what reply time-outs
    // add for it; 0 for a local device.
    int roundTripMs() const;
    int roundTripMarginMs() const;
    // Replies timed on this line so far.
    int roundTripSamples() const;
    // "round trip 164 ms, learnt from 57 replies"
    QString roundTripText() const;
    // A reply began msAfterFrame after its frame went out.
    void noteReplyTime(qint64 msAfterFrame);
    // A frame had no reply; and whether the time-outs are guesses for it (RoundTrip).
    void noteSilence();
    bool roundTripGuessed() const;
    // Forgets what replies taught of the round trip (RoundTrip::relearn).
    void relearnRoundTrip();
    // How long ago the oldest byte waiting arrived; -1 when none waits.
    qint64 firstByteAgeMs();
    // Discards what has arrived, here only (an RFC 2217 server is not asked to purge).
    void dropReceived();

    // Opening a remote line (name lookup, connect, the com-port set-up: up to a few seconds)
    // runs on a thread of its own while the caller's events are served, so that a window
    // keeps painting and answering. Off (the default): the open blocks.
    void setOpenInBackground(bool on) { m_openInBackground = on; }
    bool openInBackground() const { return m_openInBackground; }
    // A background open is under way.
    bool connecting() const { return m_connecting != nullptr; }
    // Makes a background open under way give up at once: it fails ("connecting was stopped").
    void stopConnecting();

    // Sees every byte on the line: dir '>' for what is written, '<' for what arrives (also
    // bytes that a purge discards), called once per write and once per received piece; '#'
    // for a note of the program's on what it does to the line (UTF-8 text).
    using Tap = std::function<void(char dir, const QByteArray& bytes)>;
    void setTap(Tap tap) { m_tap = std::move(tap); }
    const Tap& tap() const { return m_tap; }
    void note(const QString& text) {
        if (m_tap)
            m_tap('#', text.toUtf8());
    }

Q_SIGNALS:
    void rxFlag();                    // the event character arrived (event mask RxFlag)
    void rxChars();                   // bytes arrived (event mask RxChar)
    void lost(const QString& reason); // the line went away while open

private:
    LineConfig lineConfig() const;
    bool openTransport(Transport& line);
    // Takes in what the line holds; fromNotifier: the line said it has something.
    void takeIn(bool fromNotifier = false);
    void onLost();
    void dropNotifier();

    QString m_name;
    LineSettings m_settings;
    std::unique_ptr<Transport> m_transport;
    QSocketNotifier* m_notifier = nullptr;
    QByteArray m_queue;
    char m_eventChar = 0x03;
    EventMask m_mask = EventMask::RxFlag;
    QString m_error;
    QByteArray m_sendOnOpen;
    Tap m_tap;
    QElapsedTimer m_firstByte; // since the oldest byte of m_queue arrived
    bool m_openInBackground = false;
    Transport* m_connecting = nullptr;
    bool m_connectStopped = false;
};
