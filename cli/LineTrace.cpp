#include "cli/LineTrace.h"

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
    connect(&m_quiet, &QTimer::timeout, this, &LineTrace::flushIncoming);
    return true;
}

QByteArray LineTrace::formatLine(const QTime& time, char dir, const QByteArray& bytes) {
    QByteArray text;
    text.reserve(bytes.size());
    for (char c : bytes)
        text += (c >= 0x20 && c < 0x7F) ? c : '.';
    return time.toString(QStringLiteral("HH:mm:ss.zzz")).toLatin1() + ' ' + dir + ' ' +
           bytes.toHex(' ').toUpper() + " |" + text + '|';
}

void LineTrace::writeLine(const QTime& time, char dir, const QByteArray& bytes) {
    if (!m_file.isOpen() || bytes.isEmpty())
        return;
    m_file.write(formatLine(time, dir, bytes) + '\n');
    m_file.flush();
}

void LineTrace::flushIncoming() {
    m_quiet.stop();
    writeLine(m_incomingTime, '<', m_incoming);
    m_incoming.clear();
}

void LineTrace::bytes(char dir, const QByteArray& bytes) {
    const QTime now = QTime::currentTime();
    if (dir == '>') {
        flushIncoming();
        writeLine(now, '>', bytes);
        return;
    }
    for (char c : bytes) {
        if (m_incoming.isEmpty())
            m_incomingTime = now;
        m_incoming += c;
        if (endsFrame(c))
            flushIncoming();
    }
    if (!m_incoming.isEmpty())
        m_quiet.start(kQuietMs);
}

void LineTrace::close() {
    if (!m_file.isOpen())
        return;
    flushIncoming();
    m_file.close();
}
