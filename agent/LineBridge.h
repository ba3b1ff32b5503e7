#pragma once

#include "link/LineObserver.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTimer>
#include <functional>

class HeadendMonitor;
class QLocalSocket;
class QTcpSocket;
class SerialPort;

// The line lent to one client at a time: a raw TCP client (the server side of a tcp:// port
// name) or a client of the agent's socket that asked for it (line.v1: agent: and ssh:// port
// names), known by its user.
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
// time is closed, and TCP keepalive finds a client that vanished without a word (a client of the
// socket has ssh's keepalive for that, and may hold the line as long as it likes, as a program
// holds a local port). What the client writes to the modules (values, commits, defaults,
// resets, loads) is logged with its name and counted.
class LineBridge : public QObject {
    Q_OBJECT
public:
    static constexpr qint64 MaxUnsentBytes = 1024 * 1024;
    // How long a client's operation waits for the line lent to another before it is refused
    // (the holder may be that client itself, letting go).
    static constexpr int InUseGraceMs = 3000;

    // idleSeconds: 0 never closes a quiet client.
    LineBridge(HeadendMonitor& monitor, int idleSeconds, QObject* parent = nullptr);
    ~LineBridge() override;

    // False with the reason in *error when the address cannot be had.
    bool listen(const QHostAddress& address, quint16 port, QString* error);
    // A client of the agent's socket asks for the line: false when another has it (inUseBy()
    // says who). answer is called once: with no reason when the line is the client's (what it
    // writes first, before the line's bytes), else with why it cannot be; the socket is closed
    // after that.
    using Answer = std::function<void(const QString& refusal)>;
    bool lend(QLocalSocket* socket, const QString& user, Answer answer);
    QString inUseBy() const { return m_client ? m_peer : QString(); }
    quint16 port() const { return m_server.serverPort(); }

Q_SIGNALS:
    // The client wrote a frame that changes a module ("1/6 write parameter 0 = 22").
    void changed(const QString& change, const QString& user);
    // The client has gone and the monitor has the line back.
    void freed();

private:
    void onConnection();
    void adopt(QIODevice* client, const QString& peer);
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
    void closeClient();
    void abortClient();
    // The frames of the client's that change a module go to the log.
    void witness(const QList<LineFrame>& frames);
    static QString peerOf(const QTcpSocket* socket);

    HeadendMonitor& m_monitor;
    QTcpServer m_server;
    QPointer<QIODevice> m_client; // owned here: deleted once what it sent is out
    QString m_peer;               // address:port of the client, or its user
    Answer m_answer;              // a client of the socket not yet answered
    bool m_gone = false;          // the client has left; its last bytes still go out
    SerialPort* m_port = nullptr; // while lent
    QMetaObject::Connection m_portBytes;
    QTimer m_pump; // tries again while the line takes no more
    QElapsedTimer m_clock;
    double m_drainedAtMs = 0; // on m_clock: when what went to the line has left it
    QTimer m_idle;
    LineFramer m_framer;
    LineDecoder m_decoder;
};
