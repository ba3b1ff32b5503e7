#pragma once

#include <QByteArray>
#include <QString>
#include <functional>

// The page window's own handle on the serial line: the device opened exclusively and driven
// with plain byte reads and writes, without the command transaction. Used from one thread
// at a time (the pages worker), so it needs no locking of its own.
class RawChannel {
public:
    // A read of one byte gives up after this long without a byte (50 ms interval plus
    // 1 ms per byte plus 100 ms constant, as the modules' line timing was designed for).
    static constexpr int ReadByteTimeoutMs = 101;
    // Writes give up after 50 ms per byte plus one second.
    static constexpr int WritePerByteMs = 50;
    static constexpr int WriteConstantMs = 1000;

    RawChannel() = default;
    ~RawChannel();
    RawChannel(const RawChannel&) = delete;
    RawChannel& operator=(const RawChannel&) = delete;

    // Device of a port name: "DEMO" is the built-in demo head-end, "COMn" /dev/ttyS<n-1>,
    // anything else a device name or path. Empty with *error set when there is none.
    static QString deviceFor(const QString& portName, QString* error);

    // Opens and configures the port: 115200 baud, 8 data bits, even parity, one stop bit,
    // raw, no flow control, DTR and RTS off. False (and closed) when it cannot.
    bool OpenRawPort(const QString& portName);
    bool isOpen() const { return m_fd >= 0; }
    QString errorString() const { return m_error; }
    // The device actually opened.
    QString device() const { return m_device; }

    // One byte within the read time-out; -1 when none came.
    int readByte(int timeoutMs = ReadByteTimeoutMs);
    // Whatever is waiting, without waiting.
    QByteArray readWaiting();
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
    bool configure();
    bool fill(int timeoutMs);

    int m_fd = -1;
    QString m_error;
    QString m_device;
    QByteArray m_in; // bytes read from the device and not yet handed out
    qsizetype m_inPos = 0;
    Tap m_tap;
};
