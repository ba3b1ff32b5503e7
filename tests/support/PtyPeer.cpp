#include "tests/support/PtyPeer.h"

#include <QFile>
#include <fcntl.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

PtyPeer::PtyPeer() {
    m_line.setReceiver([this](const QByteArray& bytes) { onBytes(bytes); });
    QString error;
    if (!m_line.openPty(&error))
        qFatal("PtyPeer: %s", qPrintable(error));
    m_slave = ::open(QFile::encodeName(m_line.slavePath()).constData(), O_RDWR | O_NOCTTY);
    // Settings the program must change: 9600 baud, 7 data bits, no parity, one stop bit.
    termios tio{};
    tcgetattr(m_slave, &tio);
    tio.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS);
    tio.c_cflag |= CS7;
    cfsetspeed(&tio, B9600);
    tcsetattr(m_slave, TCSANOW, &tio);
}

PtyPeer::~PtyPeer() {
    hangUp();
}

std::optional<PtyPeer::Reply> PtyPeer::acknowledge(const QByteArray& frame) {
    return frame.startsWith('!') ? std::optional(Reply{"\x06"}) : std::nullopt;
}

void PtyPeer::setResponder(Responder responder) {
    std::lock_guard lock(m_mutex);
    m_responder = std::move(responder);
}

void PtyPeer::queue(const QByteArray& bytes) {
    std::lock_guard lock(m_mutex);
    m_queued.push_back(bytes);
}

QByteArray PtyPeer::received() const {
    std::lock_guard lock(m_mutex);
    return m_received;
}

QList<QByteArray> PtyPeer::frames() const {
    std::lock_guard lock(m_mutex);
    return m_frames;
}

void PtyPeer::clearReceived() {
    std::lock_guard lock(m_mutex);
    m_received.clear();
    m_frames.clear();
    m_partial.clear();
}

bool PtyPeer::waitForFrames(int n, int ms) const {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(ms),
                              [&] { return m_frames.size() >= n; });
}

PtyPeer::LineState PtyPeer::lineState() const {
    std::lock_guard lock(m_mutex);
    return PtyEndpoint::lineStateOf(m_slave);
}

QString PtyPeer::text(const LineState& line) {
    return QString::asprintf("%d %d%c%d%s", line.baud, line.dataBits,
                             !line.parity     ? 'N'
                             : line.oddParity ? 'O'
                                              : 'E',
                             line.stopBits, line.rtscts ? " RTS/CTS" : "");
}

void PtyPeer::hangUp() {
    m_line.close();
    if (m_slave >= 0)
        ::close(m_slave);
    m_slave = -1;
}

void PtyPeer::onFrame(const QByteArray& frame) {
    std::optional<Reply> reply;
    {
        std::lock_guard lock(m_mutex);
        m_frames << frame;
        if (!m_queued.empty()) {
            reply = Reply{m_queued.front()};
            m_queued.pop_front();
        } else if (m_responder) {
            reply = m_responder(frame);
        }
    }
    m_changed.notify_all();
    if (!reply || reply->bytes.isEmpty())
        return;
    if (reply->pauseMs <= 0)
        m_line.write(reply->bytes);
    for (int i = 0; reply->pauseMs > 0 && i < reply->bytes.size(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(reply->pauseMs));
        m_line.write(reply->bytes.mid(i, 1));
    }
}

// Runs on the line's reader thread, which also writes the replies.
void PtyPeer::onBytes(const QByteArray& bytes) {
    QList<QByteArray> complete;
    {
        std::lock_guard lock(m_mutex);
        m_received += bytes;
        m_partial += bytes;
        complete = takeFrames(m_partial);
    }
    for (const QByteArray& frame : complete)
        onFrame(frame);
}

QList<QByteArray> PtyPeer::takeFrames(QByteArray& bytes) {
    QList<QByteArray> frames;
    qsizetype at = 0;
    while (at < bytes.size()) {
        qsizetype end = at + 1;
        if (bytes[at] == '!' && at + 1 < bytes.size() && (quint8(bytes[at + 1]) & 0xFE) == 0xC0)
            end = at + 3;
        else if (bytes[at] == '!')
            end = bytes.indexOf('\r', at + 1) + 1;
        if (end <= at || end > bytes.size())
            break;
        frames << bytes.mid(at, end - at);
        at = end;
    }
    bytes.remove(0, at);
    return frames;
}

bool PtyPeer::isSelect(const QByteArray& frame) {
    return frame.size() == 3 && frame[0] == '!' && (quint8(frame[1]) & 0xFE) == 0xC0;
}

QString PtyPeer::readable(const QByteArray& frame) {
    if (isSelect(frame))
        return QStringLiteral("S%1/%2").arg(quint8(frame[1]) - 0xBF).arg(quint8(frame[2]) - 0x7F);
    if (frame.startsWith('!') && frame.endsWith("\n\r"))
        return '#' + QString::fromLatin1(frame.mid(1, frame.size() - 8));
    if (frame.startsWith('!'))
        return QString::fromLatin1(frame.mid(1, frame.size() - 2)).replace('\n', ',');
    return QString::fromLatin1(frame);
}
