#pragma once

#include <QByteArray>
#include <QString>
#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

// One end of a serial line for a peer that plays the modules: either a fresh pseudo-terminal
// pair (the program under test opens the slave path like any serial port) or a real serial
// device (115200 baud, 8 data bits, even parity, 2 stop bits, raw, no flow control).
//
//   PtyEndpoint line;
//   line.setReceiver([](const QByteArray& bytes) { ... });   // before open
//   line.openPty(&error);
//   program.open(line.path());
//   line.write(reply, /*paced=*/true);
//
// - Received bytes are delivered to the receiver on a reader thread of the endpoint's own,
//   in arrival order. The receiver must not call close() or reopen() of the same endpoint.
// - write() is thread-safe. With paced = true it sends at the true line rate (9600 bytes a
//   second) instead of at once: no byte leaves before its time on the line has passed. On a pty,
//   bytes written while no program holds the slave open are dropped, as on a real line with nobody
//   listening.
// - close() makes the line vanish: the program's reads and writes fail from then on.
//   reopen() creates a new pair (a new slave path); with setLinkPath() a symbolic link keeps
//   one stable name that always points at the current slave, and is gone while there is none.
// - Both sides of a pty are in raw mode: no echo, no line editing, no CR/LF translation.
class PtyEndpoint {
public:
    using Receiver = std::function<void(const QByteArray&)>;
    static constexpr int LineBytesPerSecond = 9600; // 115200 baud, 8E2: 12 bits per byte

    PtyEndpoint();
    ~PtyEndpoint();
    PtyEndpoint(const PtyEndpoint&) = delete;
    PtyEndpoint& operator=(const PtyEndpoint&) = delete;

    void setReceiver(Receiver receiver);
    // A symbolic link to create (and replace) at each openPty()/reopen(); empty: none.
    void setLinkPath(const QString& linkPath);

    bool openPty(QString* error);
    bool openDevice(const QString& device, QString* error);
    // Opens again what was opened last (a new pty pair, or the same device).
    bool reopen(QString* error);
    void close();

    bool isOpen() const;
    // A pty: whether a program holds the slave side open now. A device: always true.
    bool peerConnected() const;
    // The path a program opens: the link when one is set, else the slave (or the device).
    QString path() const;
    QString slavePath() const;

    // The line settings the far end has put on the line (a pty: what the program set on the
    // slave; a pty carries no parity bit, the kernel drops it). 0 when closed.
    struct LineState {
        int baud = 0;
        int dataBits = 0;
        bool parity = false;
        bool oddParity = false;
        int stopBits = 0;
        bool rtscts = false;
    };
    LineState lineState() const;
    // The settings of the terminal behind fd (either side of a pty).
    static LineState lineStateOf(int fd);

    // Returns the number of bytes written (0 when closed or nobody listens on the pty).
    qsizetype write(const QByteArray& bytes, bool paced = false);

private:
    bool start(QString* error);
    void readLoop();
    void stopReader();
    bool waitWritable(int fd);

    Receiver m_receiver;
    QString m_linkPath;
    QString m_device; // empty: pty mode
    QString m_slavePath;
    int m_fd = -1; // pty master or device
    int m_wake[2] = {-1, -1};
    std::thread m_reader;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_writeMutex;
};
