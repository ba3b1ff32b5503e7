#include "monitor/LineBridge.h"

#include "link/SerialPort.h"
#include "monitor/HeadendMonitor.h"
#include "monitor/Log.h"

#include <QTcpSocket>

LineBridge::LineBridge(HeadendMonitor& monitor, QObject* parent)
    : QObject(parent), m_monitor(monitor) {
    connect(&m_server, &QTcpServer::newConnection, this, &LineBridge::onConnection);
    connect(&m_monitor, &HeadendMonitor::lineLent, this, &LineBridge::onLent);
    connect(&m_monitor, &HeadendMonitor::lineRefused, this, &LineBridge::onRefused);
    connect(&m_monitor, &HeadendMonitor::lineWithdrawn, this, &LineBridge::onWithdrawn);
}

LineBridge::~LineBridge() {
    release();
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
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        if (m_client) {
            monitorLog(QStringLiteral("bridge: %1 refused, the line is lent to %2")
                           .arg(peerOf(socket), m_peer));
            socket->write(
                QStringLiteral("ORVEX monitor: the line is in use by %1; try again later.\r\n")
                    .arg(m_peer)
                    .toUtf8());
            socket->disconnectFromHost();
            continue;
        }
        m_client = socket;
        m_peer = peerOf(socket);
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        connect(socket, &QTcpSocket::readyRead, this, &LineBridge::toLine);
        connect(socket, &QTcpSocket::disconnected, this, &LineBridge::onClientGone);
        monitorLog(QStringLiteral("bridge: %1 connected").arg(m_peer));
        m_monitor.requestLine();
    }
}

void LineBridge::onLent(SerialPort* port) {
    if (!m_client) {
        m_monitor.returnLine();
        return;
    }
    m_port = port;
    m_portBytes = connect(port, &SerialPort::rxChars, this, &LineBridge::toClient);
    toLine(); // what the client said while it waited
    toClient();
}

void LineBridge::onRefused(const QString& reason) {
    if (!m_client)
        return;
    m_client->write(
        QStringLiteral("ORVEX monitor: the line cannot be opened (%1).\r\n").arg(reason).toUtf8());
    m_client->disconnectFromHost();
}

void LineBridge::onWithdrawn(const QString& reason) {
    release();
    if (!m_client)
        return;
    monitorLog(QStringLiteral("bridge: the line went away (%1); closing %2").arg(reason, m_peer));
    m_client->disconnectFromHost();
}

void LineBridge::onClientGone() {
    toLine(); // its last words still go to the line
    release();
    monitorLog(QStringLiteral("bridge: %1 left").arg(m_peer));
    m_client = nullptr;
    m_monitor.returnLine();
}

void LineBridge::toLine() {
    if (m_port && m_client && m_client->bytesAvailable() > 0)
        m_port->write(m_client->readAll());
}

void LineBridge::toClient() {
    if (!m_port || !m_client)
        return;
    const QByteArray bytes = m_port->read(m_port->bytesWaiting());
    if (!bytes.isEmpty())
        m_client->write(bytes);
}

void LineBridge::release() {
    disconnect(m_portBytes);
    m_port = nullptr;
}
