#pragma once

#include "link/LineObserver.h"

#include <QFile>
#include <QMutex>

// The trace of --trace FILE: every frame on the line, one a line, as LineObserver frames and
// formats them (the line monitor's "Save trace…" writes the same lines):
//
//   14:03:11.042 > 21 C0 80 |!..|
//   14:03:11.047 < 06 |.|
//
// and a line of its own where the program does something to the line on its own:
//
//   14:03:11.040 # ending a console that may still be open: the line was opened
//
// The module pages exchange on a thread of their own: bytes() may be called from any thread.
class LineTrace {
public:
    LineTrace();
    ~LineTrace() { close(); }

    // Opens (truncates) the file; false with *error when it cannot be written.
    bool open(const QString& path, QString* error);
    // The port's tap.
    void bytes(char dir, const QByteArray& bytes) { m_observer.bytes(dir, bytes); }
    // Writes what is pending and closes the file.
    void close();

private:
    void write(const LineFrame& frame);

    LineObserver m_observer;
    QMutex m_mutex;
    QFile m_file;
};
