#include "tests/support/DelayProxy.h"

#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

// Lives on the proxy's thread: the listening socket and every pair of connections.
class DelayProxy::Relay : public QObject {
public:
    Relay(quint16 target, int halfMs) : m_target(target), m_halfMs(halfMs) {
        connect(&m_server, &QTcpServer::newConnection, this, &Relay::accept);
    }
    quint16 listen() {
        return m_server.listen(QHostAddress::LocalHost) ? m_server.serverPort() : 0;
    }

    void cut() {
        for (QTcpSocket* s : findChildren<QTcpSocket*>()) {
            s->abort();
            s->deleteLater();
        }
    }
    QByteArray cutOn;

private:
    void accept() {
        while (QTcpSocket* client = m_server.nextPendingConnection()) {
            client->setParent(this);
            auto* server = new QTcpSocket(this);
            // The connection request travels like the bytes: it does not overtake the end of
            // an earlier connection.
            later([server = QPointer<QTcpSocket>(server), this] {
                if (server)
                    server->connectToHost(QHostAddress::LocalHost, m_target);
            });
            for (QTcpSocket* s : {client, server})
                s->setSocketOption(QAbstractSocket::LowDelayOption, 1);
            forward(client, server, true);
            forward(server, client, false);
        }
    }
    void forward(QTcpSocket* from, QTcpSocket* to, bool up) {
        QPointer<QTcpSocket> target(to);
        connect(from, &QTcpSocket::readyRead, this, [=, this] {
            const QByteArray bytes = from->readAll();
            if (up && !cutOn.isEmpty() && bytes.contains(cutOn)) {
                cutOn.clear();
                cut();
                return;
            }
            later([=] {
                if (target)
                    target->write(bytes);
            });
        });
        connect(from, &QTcpSocket::disconnected, this, [=, this] {
            later([=] {
                if (target)
                    target->disconnectFromHost();
            });
        });
    }
    // Timers of one interval fire in the order they were started: the bytes keep theirs.
    void later(const std::function<void()>& f) {
        if (m_halfMs == 0)
            f();
        else
            QTimer::singleShot(m_halfMs, Qt::PreciseTimer, this, f);
    }

    QTcpServer m_server{this};
    quint16 m_target;
    int m_halfMs;
};

DelayProxy::DelayProxy(quint16 target, int roundTripMs)
    : m_relay(new Relay(target, roundTripMs / 2)) {
    m_relay->moveToThread(&m_thread);
    m_thread.start();
    QMetaObject::invokeMethod(
        m_relay, [this] { m_port = m_relay->listen(); }, Qt::BlockingQueuedConnection);
}

DelayProxy::~DelayProxy() {
    QMetaObject::invokeMethod(
        m_relay, [this] { delete m_relay; }, Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
}

void DelayProxy::cut() {
    QMetaObject::invokeMethod(
        m_relay, [this] { m_relay->cut(); }, Qt::BlockingQueuedConnection);
}

void DelayProxy::cutOn(const QByteArray& bytes) {
    QMetaObject::invokeMethod(
        m_relay, [this, bytes] { m_relay->cutOn = bytes; }, Qt::BlockingQueuedConnection);
}
