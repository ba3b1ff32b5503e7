#include "tests/support/Ser2net.h"
#include "tests/support/Files.h"
#include "tests/support/Unanswered.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QPointer>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>
#include <unistd.h>

namespace {
constexpr int kStartLimitMs = 10000;

QString program() {
    return QStandardPaths::findExecutable(QStringLiteral("ser2net"), {"/usr/sbin", "/usr/bin"});
}

// The states of the sockets on 127.0.0.1:port ("0A": listening, "01": connected, "08": closed by
// the other end, not yet by ser2net), from the kernel's table, so that nothing connects to
// ser2net and makes it open the device.
QList<QByteArray> socketStates(quint16 port) {
    QList<QByteArray> states;
    QFile table(QStringLiteral("/proc/net/tcp"));
    if (!table.open(QIODevice::ReadOnly))
        return states;
    const QByteArray local =
        "0100007F:" + QByteArray::number(port, 16).toUpper().rightJustified(4, '0');
    for (const QByteArray& line : table.readAll().split('\n')) {
        const QList<QByteArray> f = line.simplified().split(' ');
        if (f.size() > 3 && f[1] == local)
            states << f[3];
    }
    return states;
}
} // namespace

Ser2net::~Ser2net() {
    m_process.terminate();
    if (!m_process.waitForFinished(5000))
        m_process.kill();
}

bool Ser2net::available() {
    return !program().isEmpty();
}

bool Ser2net::idle() const {
    const QList<QByteArray> states = socketStates(m_rawPort) + socketStates(m_telnetPort);
    return !states.contains("01") && !states.contains("08");
}

bool Ser2net::start(const QString& device, QString* error) {
    m_rawPort = unusedPort();
    m_telnetPort = unusedPort();
    while (m_telnetPort == m_rawPort)
        m_telnetPort = unusedPort();
    const QString config = m_dir.filePath(QStringLiteral("ser2net.yaml"));
    QFile file(config); // unwritten, ser2net says so in its log
    file.open(QIODevice::WriteOnly);
    // As the README sets it up: every byte passed on at once (no Nagle, no character delay).
    const QString connection = QStringLiteral("connection: &%1\n"
                                              "  accepter: %2tcp(nodelay),127.0.0.1,%3\n"
                                              "  connector: serialdev,%4,%5,local\n"
                                              "  options:\n"
                                              "    chardelay: false\n");
    file.write(
        (QStringLiteral("%YAML 1.1\n---\n") +
         connection.arg("raw", "").arg(m_rawPort).arg(device, "115200e82") +
         connection.arg("rfc2217", "telnet(rfc2217),").arg(m_telnetPort).arg(device, "9600n81"))
            .toUtf8());
    file.close();
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.setStandardOutputFile(m_dir.filePath(QStringLiteral("log")));
    m_process.start(program(), {"-n", "-c", config, "-P", m_dir.filePath(QStringLiteral("pid"))});
    const QDeadlineTimer limit(kStartLimitMs);
    while (!socketStates(m_rawPort).contains("0A") || !socketStates(m_telnetPort).contains("0A")) {
        if (m_process.state() == QProcess::NotRunning || limit.hasExpired()) {
            QFile log(m_dir.filePath(QStringLiteral("log")));
            log.open(QIODevice::ReadOnly);
            *error = QStringLiteral("ser2net did not start: %1 %2")
                         .arg(m_process.errorString(), QString::fromLocal8Bit(log.readAll()));
            return false;
        }
        QThread::msleep(5);
    }
    return true;
}

namespace {
const QString kSshd = QStringLiteral("/usr/sbin/sshd");

bool run(const QString& program, const QStringList& args, QString* error) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    if (p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0)
        return true;
    *error = program + ": " + QString::fromLocal8Bit(p.readAll()) + p.errorString();
    return false;
}
} // namespace

Sshd::~Sshd() {
    m_process.terminate();
    if (!m_process.waitForFinished(5000))
        m_process.kill();
}

bool Sshd::available() {
    return QFile::exists(kSshd) && !QStandardPaths::findExecutable(QStringLiteral("ssh")).isEmpty();
}

bool Sshd::keys(const QStringList& environment, QString* error) {
    for (const char* key : {"host", "client"})
        if (!run(QStringLiteral("ssh-keygen"),
                 {"-q", "-t", "ed25519", "-N", "", "-f", m_dir.filePath(key)}, error))
            return false;
    QStringList options{QStringLiteral("environment=\"PATH=%1:/usr/bin:/bin\"")
                            .arg(QCoreApplication::applicationDirPath())};
    for (const QString& variable : environment)
        options << QStringLiteral("environment=\"%1\"").arg(variable);
    *error = QStringLiteral("sshd: the keys cannot be written");
    // The host key under one name, the same through a forwarder.
    return writeFile(m_dir.filePath("authorized_keys"),
                     options.join(',').toUtf8() + ' ' + fileBytes(m_dir.filePath("client.pub"))) &&
           writeFile(m_dir.filePath("known_hosts"),
                     "orvex-test-sshd " + fileBytes(m_dir.filePath("host.pub")));
}

bool Sshd::start(const QStringList& environment, QString* error) {
    m_port = unusedPort();
    if (!keys(environment, error))
        return false;
    const QString config = m_dir.filePath("sshd_config");
    writeFile(config, QStringLiteral("Port %1\nListenAddress 127.0.0.1\nHostKey %2\nPidFile %3\n"
                                     "AuthorizedKeysFile %4\nStrictModes no\nUsePAM no\n"
                                     "PermitUserEnvironment yes\nPasswordAuthentication no\n"
                                     "KbdInteractiveAuthentication no\nLogLevel ERROR\n")
                          .arg(m_port)
                          .arg(m_dir.filePath("host"), m_dir.filePath("pid"),
                               m_dir.filePath("authorized_keys"))
                          .toUtf8());
    if (geteuid() == 0)
        QDir().mkpath(QStringLiteral("/run/sshd")); // its privilege separation folder
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(kSshd, {"-D", "-e", "-f", config});
    const QDeadlineTimer limit(kStartLimitMs);
    while (!socketStates(m_port).contains("0A")) {
        if (m_process.state() == QProcess::NotRunning || limit.hasExpired()) {
            *error = QStringLiteral("sshd did not start: %1").arg(m_process.errorString());
            return false;
        }
        QThread::msleep(5);
    }
    return true;
}

QString Sshd::command() const {
    return QStringLiteral("ssh -F /dev/null -i %1 -o IdentitiesOnly=yes -o BatchMode=yes "
                          "-o UserKnownHostsFile=%2 -o StrictHostKeyChecking=yes "
                          "-o HostKeyAlias=orvex-test-sshd")
        .arg(m_dir.filePath("client"), m_dir.filePath("known_hosts"));
}

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

void DelayProxy::cutOn(const QByteArray& bytes) {
    QMetaObject::invokeMethod(
        m_relay, [this, bytes] { m_relay->cutOn = bytes; }, Qt::BlockingQueuedConnection);
}
