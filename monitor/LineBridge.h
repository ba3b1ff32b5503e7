#pragma once

#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QTcpServer>

class HeadendMonitor;
class QTcpSocket;
class SerialPort;

// The server side of a tcp:// port name: one raw TCP client at a time gets the monitor's line.
// Bytes pass unchanged both ways (no telnet, no framing); what the client sends before the
// monitor has stopped polling waits and follows then. A second client is told in one text
// line that the line is in use, and closed. When the client leaves, the monitor takes the
// line back and rescans.
class LineBridge : public QObject {
    Q_OBJECT
public:
    explicit LineBridge(HeadendMonitor& monitor, QObject* parent = nullptr);
    ~LineBridge() override;

    // False with the reason in *error when the address cannot be had.
    bool listen(const QHostAddress& address, quint16 port, QString* error);
    quint16 port() const { return m_server.serverPort(); }

private:
    void onConnection();
    void onLent(SerialPort* port);
    void onRefused(const QString& reason);
    void onWithdrawn(const QString& reason);
    void onClientGone();
    void toLine();
    void toClient();
    void release();
    static QString peerOf(const QTcpSocket* socket);

    HeadendMonitor& m_monitor;
    QTcpServer m_server;
    QPointer<QTcpSocket> m_client;
    QString m_peer;               // address:port of the client
    SerialPort* m_port = nullptr; // while lent
    QMetaObject::Connection m_portBytes;
};
