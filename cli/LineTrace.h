#pragma once

#include <QByteArray>
#include <QFile>
#include <QMutex>
#include <QObject>
#include <QTime>
#include <QTimer>

// The trace of --trace FILE: every byte on the line, one frame a line:
//
//   14:03:11.042 > 21 C0 80 |!..|
//   14:03:11.047 < 06 |.|
//
// time of the frame's first byte (hh:mm:ss.zzz), direction ('>' to the modules, '<' from
// them), the bytes in hexadecimal, then the bytes as text with '.' for every byte outside
// printable ASCII. What the program writes at once is one frame; what arrives ends its frame
// at a terminator (ETX, EOT, ACK, NAK, ETB, SYN), when the program writes, or after 50 ms
// without a byte. A note of the program's on what it does to the line is a line of its own:
//
//   14:03:11.040 # ending a console that may still be open: the line was opened
//
// The module pages exchange on a thread of their own: bytes() may be called from any thread.
class LineTrace : public QObject {
    Q_OBJECT
public:
    // Opens (truncates) the file; false with *error when it cannot be written.
    bool open(const QString& path, QString* error);
    // The port's tap.
    void bytes(char dir, const QByteArray& bytes);
    // Writes what is pending and closes the file.
    void close();
    ~LineTrace() override { close(); }

    // One line of the trace (without its line end).
    static QByteArray formatLine(const QTime& time, char dir, const QByteArray& bytes);

private:
    void onQuiet();
    // The callers hold m_mutex.
    void flushIncoming();
    void writeLine(const QTime& time, char dir, const QByteArray& bytes);

    QMutex m_mutex;
    QFile m_file;
    QByteArray m_incoming;
    QTime m_incomingTime;
    QTimer m_quiet;
};
