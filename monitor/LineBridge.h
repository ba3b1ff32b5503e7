#pragma once

#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTimer>

class HeadendMonitor;
class QTcpSocket;
class SerialPort;

// The server side of a tcp:// port name: one raw TCP client at a time gets the monitor's line.
// Bytes pass unchanged both ways (no telnet, no framing); what the client sends before the
// monitor has stopped polling waits and follows then. A second client is told in one text
// line that the line is in use, and closed. When the client leaves, what it sent still goes
// out and the monitor takes the line back (it ends a console the client may have left open,
// lets the line settle and rescans).
//
// The monitor's thread never waits for either side: the client's bytes are taken in a piece
// at a time and go to the line only as fast as the line takes them without blocking (TCP
// holds the rest back at the client), and a client that leaves more than MaxUnsentBytes of
// the line's bytes unread is closed. A client that sends and receives nothing for the idle
// time is closed, and TCP keepalive finds a client that vanished without a word.
class LineBridge : public QObject {
    Q_OBJECT
public:
    static constexpr qint64 MaxUnsentBytes = 1024 * 1024;

    // idleSeconds: 0 never closes a quiet client.
    LineBridge(HeadendMonitor& monitor, int idleSeconds, QObject* parent = nullptr);
    ~LineBridge() override;

    // False with the reason in *error when the address cannot be had.
    bool listen(const QHostAddress& address, quint16 port, QString* error);
    quint16 port() const { return m_server.serverPort(); }

private:
    void onConnection();
    void turnAway(QTcpSocket* socket);
    void onLent(SerialPort* port);
    void onRefused(const QString& reason);
    void onWithdrawn(const QString& reason);
    void onClientGone();
    void onIdle();
    void toLine();
    void toClient();
    void finish();
    void release();
    static QString peerOf(const QTcpSocket* socket);

    HeadendMonitor& m_monitor;
    QTcpServer m_server;
    QPointer<QTcpSocket> m_client; // owned here: deleted once what it sent is out
    QString m_peer;                // address:port of the client
    bool m_gone = false;           // the client has left; its last bytes still go out
    SerialPort* m_port = nullptr;  // while lent
    QMetaObject::Connection m_portBytes;
    QTimer m_pump; // tries again while the line takes no more
    QElapsedTimer m_clock;
    double m_drainedAtMs = 0; // on m_clock: when what went to the line has left it
    QTimer m_idle;
};
