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
        for (char c : bytes) {
            if (m_partial.isEmpty() && c != '!') {
                complete << QByteArray(1, c);
                continue;
            }
            m_partial += c;
            const bool select =
                m_partial.size() >= 2 && (static_cast<quint8>(m_partial[1]) & 0xFE) == 0xC0;
            if ((select && m_partial.size() == 3) || (!select && c == '\r')) {
                complete << m_partial;
                m_partial.clear();
            }
        }
    }
    for (const QByteArray& frame : complete)
        onFrame(frame);
}
