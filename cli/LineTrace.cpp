#include "cli/LineTrace.h"

#include <QThread>

namespace {
constexpr int kQuietMs = 50;

bool endsFrame(char c) {
    switch (c) {
    case 0x03: // ETX
    case 0x04: // EOT
    case 0x06: // ACK
    case 0x15: // NAK
    case 0x16: // SYN
    case 0x17: // ETB
        return true;
    default:
        return false;
    }
}
} // namespace

bool LineTrace::open(const QString& path, QString* error) {
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        *error = m_file.errorString();
        return false;
    }
    m_quiet.setSingleShot(true);
    connect(&m_quiet, &QTimer::timeout, this, &LineTrace::onQuiet);
    return true;
}

QByteArray LineTrace::formatLine(const QTime& time, char dir, const QByteArray& bytes) {
    const QByteArray stamp = time.toString(QStringLiteral("HH:mm:ss.zzz")).toLatin1() + ' ' + dir;
    if (dir == '#')
        return stamp + ' ' + bytes;
    QByteArray text;
    text.reserve(bytes.size());
    for (char c : bytes)
        text += (c >= 0x20 && c < 0x7F) ? c : '.';
    return stamp + ' ' + bytes.toHex(' ').toUpper() + " |" + text + '|';
}

void LineTrace::writeLine(const QTime& time, char dir, const QByteArray& bytes) {
    if (!m_file.isOpen() || bytes.isEmpty())
        return;
    m_file.write(formatLine(time, dir, bytes) + '\n');
    m_file.flush();
}

void LineTrace::onQuiet() {
    QMutexLocker lock(&m_mutex);
    flushIncoming();
}

void LineTrace::flushIncoming() {
    writeLine(m_incomingTime, '<', m_incoming);
    m_incoming.clear();
}

void LineTrace::bytes(char dir, const QByteArray& bytes) {
    QMutexLocker lock(&m_mutex);
    const QTime now = QTime::currentTime();
    if (dir == '>' || dir == '#') {
        flushIncoming();
        writeLine(now, dir, bytes);
        return;
    }
    for (char c : bytes) {
        if (m_incoming.isEmpty())
            m_incomingTime = now;
        m_incoming += c;
        if (endsFrame(c))
            flushIncoming();
    }
    if (m_incoming.isEmpty())
        return;
    // The timer belongs to this object's thread.
    if (QThread::currentThread() == thread())
        m_quiet.start(kQuietMs);
    else
        QMetaObject::invokeMethod(
            &m_quiet, [this] { m_quiet.start(kQuietMs); }, Qt::QueuedConnection);
}

void LineTrace::close() {
    QMutexLocker lock(&m_mutex);
    m_quiet.stop();
    if (!m_file.isOpen())
        return;
    flushIncoming();
    m_file.close();
}
