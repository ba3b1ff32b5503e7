#include "net/RequestGate.h"

#include <QTcpSocket>

namespace {
// Each refusal's status line phrase and the text of its answer; the first one for any other.
struct GateRefusal {
    int status;
    const char* phrase;
    const char* text;
};
constexpr GateRefusal kRefusals[] = {
    {400, "Bad Request", "The request's length is not readable.\n"},
    {411, "Length Required", "A request body needs its length.\n"},
    {413, "Payload Too Large", "The request is too long for the module.\n"},
    {429, "Too Many Requests", "Too many requests sent ahead of their answers.\n"},
    {431, "Request Header Fields Too Large", "The request's headers are too long.\n"},
};
const GateRefusal& refusalOf(int status) {
    for (const GateRefusal& r : kRefusals)
        if (r.status == status)
            return r;
    return kRefusals[0];
}

// The declared length, saturated above limit (so any count of digits is read); -1 when the
// value is not a decimal number.
qint64 declaredLength(const QByteArray& value, qint64 limit) {
    const QByteArray digits = value.trimmed();
    if (digits.isEmpty())
        return -1;
    qint64 n = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9')
            return -1;
        n = n > limit ? n : n * 10 + (c - '0');
    }
    return n;
}
} // namespace

int RequestScanner::feed(const QByteArray& bytes) {
    qsizetype at = 0;
    while (at < bytes.size() && !m_refused) {
        if (m_bodyLeft > 0) {
            const qint64 n = qMin<qint64>(m_bodyLeft, bytes.size() - at);
            m_bodyLeft -= n;
            at += qsizetype(n);
            continue;
        }
        const char c = bytes[at++];
        if (m_head.isEmpty() && (c == '\r' || c == '\n'))
            continue; // empty lines before a request line are allowed
        m_head += c;
        if (m_head.endsWith("\n\n") || m_head.endsWith("\n\r\n"))
            m_refused = headDone();
        else if (m_head.size() > MaxHeadBytes)
            m_refused = 431;
    }
    if (m_refused) {
        m_head.clear();
        m_targets.clear();
    }
    return m_refused;
}

int RequestScanner::headDone() {
    const QList<QByteArray> lines = m_head.split('\n');
    m_head.clear();
    const QList<QByteArray> words = lines.first().simplified().split(' ');
    qint64 length = 0;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines[i].indexOf(':');
        if (colon < 0)
            continue;
        const QByteArray name = lines[i].left(colon).trimmed().toLower();
        const QByteArray value = lines[i].mid(colon + 1);
        if (name == "transfer-encoding" && value.trimmed().toLower() != "identity")
            return 411;
        if (name != "content-length")
            continue;
        const qint64 n = declaredLength(value, m_maxBody);
        if (n < 0 || (length > 0 && n != length))
            return 400;
        length = n;
    }
    if (length > m_maxBody)
        return 413;
    if (m_targets.size() >= MaxPendingRequests)
        return 429;
    m_targets.push_back(words.value(1));
    m_bodyLeft = length;
    return 0;
}

QByteArray RequestScanner::takeTarget() {
    if (m_targets.empty())
        return {};
    QByteArray target = m_targets.front();
    m_targets.pop_front();
    return target;
}

RequestGate::RequestGate(QTcpSocket* socket, qint64 maxBody)
    : QObject(socket), m_socket(socket), m_scanner(maxBody) {
    socket->setReadBufferSize(ReadBufferBytes);
    // Connected before the server's own handler, so the bytes are seen before it reads them.
    connect(socket, &QTcpSocket::readyRead, this, &RequestGate::onBytes);
    m_idle.setSingleShot(true);
    m_idle.setInterval(IdleMs);
    connect(&m_idle, &QTimer::timeout, this, &RequestGate::idleCheck);
    m_idle.start();
}

RequestGate* RequestGate::of(const QTcpSocket* socket) {
    return socket ? socket->findChild<RequestGate*>(QString(), Qt::FindDirectChildrenOnly)
                  : nullptr;
}

QByteArray RequestGate::takeTarget() {
    m_seenUnread = m_socket->bytesAvailable();
    m_taken = true;
    ++m_inService;
    m_idle.stop();
    return m_scanner.takeTarget();
}

void RequestGate::answered() {
    if (m_inService > 0 && --m_inService == 0)
        m_idle.start();
}

void RequestGate::onBytes() {
    // Only what the server has not read yet and we have not seen: it reads either all that is
    // there, after us, or one whole request, and then hands the rest back with another
    // readyRead (requests sent one after another without waiting for the answers).
    const qint64 seen = m_taken ? m_seenUnread : 0;
    m_taken = false;
    if (m_scanner.refused())
        return;
    if (const int status = m_scanner.feed(m_socket->peek(m_socket->bytesAvailable()).mid(seen)))
        refuse(status);
}

void RequestGate::refuse(int status) {
    const GateRefusal& r = refusalOf(status);
    const QByteArray reason(r.text);
    // Nothing more of this connection is read: neither by the server nor into a buffer.
    disconnect(m_socket, &QTcpSocket::readyRead, nullptr, nullptr);
    m_socket->setReadBufferSize(1);
    m_socket->write("HTTP/1.1 " + QByteArray::number(status) + ' ' + r.phrase +
                    "\r\nContent-Type: text/plain\r\nContent-Length: " +
                    QByteArray::number(reason.size()) + "\r\nConnection: close\r\n\r\n" + reason);
    m_socket->disconnectFromHost();
}

void RequestGate::idleCheck() {
    if (m_inService == 0)
        m_socket->disconnectFromHost();
}

void GatedListener::incomingConnection(qintptr descriptor) {
    auto* socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor) || (m_admit && !m_admit(*socket))) {
        delete socket;
        return;
    }
    new RequestGate(socket, m_maxBody);
    addPendingConnection(socket);
}
