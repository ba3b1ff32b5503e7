#include "agent/LineBridge.h"

#include "agent/HeadendMonitor.h"
#include "agent/Listening.h"
#include "agent/Log.h"
#include "link/SerialPort.h"
#include "module/ModuleAddress.h"

#include <QDateTime>
#include <QLocalSocket>
#include <QTcpSocket>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

namespace {
// What is taken in from the client at a time; TCP holds back the rest at the client.
constexpr int kClientBufferBytes = 16 * 1024;
// While the line takes no more: about a hundred bytes of line time.
constexpr int kPumpMs = 10;
// A client turned away that does not close its side is closed after this.
constexpr int kTurnAwayMs = 10000;
constexpr int kMaxTurnedAway = 8;
// 115200 baud, 8E2: 12 bits a byte.
constexpr double kLineBytesPerMs = 9.6;
// A client that vanished without a word (cable, crash, a NAT that forgot it) is found in
// about two minutes, also while bytes to it wait unacknowledged.
constexpr int kKeepIdleS = 60;
constexpr int kKeepIntervalS = 10;
constexpr int kKeepProbes = 6;
constexpr unsigned kUnacknowledgedMs = 120000;

void keepAlive(const QTcpSocket* socket) {
    const int fd = int(socket->socketDescriptor());
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &kKeepIdleS, sizeof kKeepIdleS);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &kKeepIntervalS, sizeof kKeepIntervalS);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &kKeepProbes, sizeof kKeepProbes);
    ::setsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &kUnacknowledgedMs, sizeof kUnacknowledgedMs);
}
} // namespace

LineBridge::LineBridge(HeadendMonitor& monitor, int idleSeconds, QObject* parent)
    : QObject(parent), m_monitor(monitor) {
    connect(&m_server, &QTcpServer::newConnection, this, &LineBridge::onConnection);
    keepAccepting(m_server);
    connect(&m_monitor, &HeadendMonitor::lineLent, this, &LineBridge::onLent);
    connect(&m_monitor, &HeadendMonitor::lineRefused, this, &LineBridge::onRefused);
    connect(&m_monitor, &HeadendMonitor::lineWithdrawn, this, &LineBridge::onWithdrawn);
    m_pump.setSingleShot(true);
    m_pump.setInterval(kPumpMs);
    connect(&m_pump, &QTimer::timeout, this, &LineBridge::toLine);
    m_clock.start();
    m_idle.setSingleShot(true);
    m_idle.setInterval(idleSeconds * 1000);
    connect(&m_idle, &QTimer::timeout, this, &LineBridge::onIdle);
}

LineBridge::~LineBridge() {
    release();
    if (m_client) {
        m_client->disconnect(this);
        delete m_client;
    }
}

bool LineBridge::listen(const QHostAddress& address, quint16 port, QString* error) {
    if (m_server.listen(address, port))
        return true;
    if (error)
        *error = m_server.errorString();
    return false;
}

QString LineBridge::peerOf(const QTcpSocket* socket) {
    return QStringLiteral("%1:%2").arg(socket->peerAddress().toString()).arg(socket->peerPort());
}

void LineBridge::onConnection() {
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        if (m_client) {
            turnAway(socket);
            continue;
        }
        socket->setReadBufferSize(kClientBufferBytes);
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        keepAlive(socket);
        connect(socket, &QTcpSocket::disconnected, this, &LineBridge::onClientGone);
        adopt(socket, peerOf(socket));
        monitorLog(QStringLiteral("bridge: %1 connected").arg(m_peer));
        if (m_idle.interval() > 0)
            m_idle.start();
        m_monitor.requestLine();
    }
}

bool LineBridge::lend(QLocalSocket* socket, const QString& user, Answer answer) {
    if (m_client)
        return false;
    socket->setReadBufferSize(kClientBufferBytes);
    connect(socket, &QLocalSocket::disconnected, this, &LineBridge::onClientGone);
    m_answer = std::move(answer);
    adopt(socket, user);
    monitorLog(QStringLiteral("bridge: %1 asks for the line through the agent's socket").arg(user));
    m_monitor.requestLine();
    return true;
}

void LineBridge::adopt(QIODevice* client, const QString& peer) {
    m_client = client;
    m_peer = peer;
    m_gone = false;
    m_framer = {};
    m_decoder = {};
    connect(client, &QIODevice::readyRead, this, &LineBridge::toLine);
}

void LineBridge::closeClient() {
    if (auto* tcp = qobject_cast<QTcpSocket*>(m_client.data()))
        tcp->disconnectFromHost();
    else if (auto* local = qobject_cast<QLocalSocket*>(m_client.data()))
        local->disconnectFromServer();
}

void LineBridge::abortClient() {
    if (auto* tcp = qobject_cast<QTcpSocket*>(m_client.data()))
        tcp->abort();
    else if (auto* local = qobject_cast<QLocalSocket*>(m_client.data()))
        local->abort();
}

void LineBridge::witness(const QList<LineFrame>& frames) {
    for (const LineFrame& framed : frames)
        for (const LineFrame& f : m_decoder.decode(framed)) {
            if (f.kind != FrameKind::Write || f.dir != '>')
                continue;
            m_monitor.noteChange(QStringLiteral("line"));
            const QString change =
                QStringLiteral("%1 %2").arg(ModuleAddress{f.subrack, f.slot}.name(), f.meaning);
            monitorLog(QStringLiteral("bridge: %1 by %2").arg(change, m_peer));
            Q_EMIT changed(change, m_peer);
        }
}

void LineBridge::turnAway(QTcpSocket* socket) {
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    // Told one at a time at most a few: a flood of them is closed unheard.
    if (m_server.findChildren<QTcpSocket*>(QString(), Qt::FindDirectChildrenOnly).size() >
        kMaxTurnedAway + 1) {
        socket->abort();
        return;
    }
    // It gets the text below and the end of the stream, and what it says is read away unheard
    // until it closes too: a close with bytes unread, or bytes that come after it, would be a
    // reset, which can cost it the text.
    connect(socket, &QTcpSocket::readyRead, socket, [socket] { socket->skip(kClientBufferBytes); });
    connect(socket, &QTcpSocket::bytesWritten, socket, [socket] {
        if (socket->bytesToWrite() == 0)
            ::shutdown(int(socket->socketDescriptor()), SHUT_WR);
    });
    QTimer::singleShot(kTurnAwayMs, socket, &QTcpSocket::abort);
    monitorLog(
        QStringLiteral("bridge: %1 refused, the line is lent to %2").arg(peerOf(socket), m_peer));
    socket->write(QStringLiteral("ORVEX monitor: the line is in use by %1; try again later.\r\n")
                      .arg(m_peer)
                      .toUtf8());
}

void LineBridge::onLent(SerialPort* port) {
    if (!m_client) {
        m_monitor.returnLine();
        return;
    }
    if (m_answer)
        std::exchange(m_answer, {})(QString());
    m_port = port;
    m_portBytes = connect(port, &SerialPort::rxChars, this, &LineBridge::toClient);
    toLine(); // what the client said while it waited
    toClient();
}

void LineBridge::onRefused(const QString& reason) {
    if (!m_client || m_gone)
        return;
    if (m_answer)
        std::exchange(m_answer, {})(reason);
    else
        m_client->write(QStringLiteral("ORVEX monitor: the line cannot be opened (%1).\r\n")
                            .arg(reason)
                            .toUtf8());
    closeClient();
}

void LineBridge::onWithdrawn(const QString& reason) {
    release();
    if (!m_client)
        return;
    monitorLog(QStringLiteral("bridge: the line went away (%1); closing %2").arg(reason, m_peer));
    if (m_gone)
        finish();
    else
        closeClient();
}

void LineBridge::onClientGone() {
    monitorLog(QStringLiteral("bridge: %1 left").arg(m_peer));
    m_gone = true;
    m_idle.stop();
    if (m_port)
        toLine(); // its last words still go to the line; finish() follows
    else
        finish();
}

void LineBridge::onIdle() {
    if (!m_client || m_gone)
        return;
    monitorLog(QStringLiteral("bridge: closing %1, nothing passed either way for %2 s")
                   .arg(m_peer)
                   .arg(m_idle.interval() / 1000));
    abortClient();
}

void LineBridge::toLine() {
    if (!m_port || !m_client)
        return;
    m_pump.stop();
    while (m_client->bytesAvailable() > 0) {
        const QByteArray piece = m_client->peek(kClientBufferBytes);
        const qint64 n = m_port->writeSome(piece);
        if (n < 0)
            return; // the line has gone: onWithdrawn follows
        witness(m_framer.out(QDateTime::currentMSecsSinceEpoch(), piece.left(n)));
        m_client->skip(n);
        m_drainedAtMs =
            qMax(m_drainedAtMs, double(m_clock.elapsed())) + double(n) / kLineBytesPerMs;
        if (n > 0 && !m_gone && m_idle.isActive())
            m_idle.start();
        if (n < piece.size()) {
            m_pump.start();
            return;
        }
    }
    if (m_gone)
        finish();
}

void LineBridge::toClient() {
    if (!m_port || !m_client || m_gone)
        return;
    const QByteArray bytes = m_port->read(m_port->bytesWaiting());
    if (bytes.isEmpty())
        return;
    m_client->write(bytes);
    witness(m_framer.in(QDateTime::currentMSecsSinceEpoch(), bytes));
    if (m_idle.isActive())
        m_idle.start();
    if (m_client->bytesToWrite() <= MaxUnsentBytes)
        return;
    monitorLog(QStringLiteral("bridge: closing %1, it leaves the line's bytes unread").arg(m_peer));
    abortClient();
}

void LineBridge::finish() {
    m_pump.stop();
    m_idle.stop();
    release();
    if (m_client)
        m_client->deleteLater();
    m_client = nullptr;
    m_gone = false;
    m_monitor.returnLine(qMax(qint64(0), qint64(m_drainedAtMs) - m_clock.elapsed()));
    Q_EMIT freed();
}

void LineBridge::release() {
    disconnect(m_portBytes);
    m_port = nullptr;
}
