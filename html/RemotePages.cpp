#include "html/RemotePages.h"

#include "html/ModulePages.h"
#include "link/EventWait.h"
#include "link/Link.h"
#include "net/AgentChannel.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <csignal>

namespace {
// ssh may ask a slow name server or pass a jump host before it listens.
constexpr int kForwardLimitMs = 30000;
constexpr int kProbeAgainMs = 50;

// ssh's last words on its standard error.
QString lastWords(QProcess& ssh) {
    const QList<QByteArray> lines = ssh.readAllStandardError().trimmed().split('\n');
    const QString last = QString::fromLocal8Bit(lines.last().trimmed());
    return last.isEmpty() ? ssh.errorString() : QStringLiteral("ssh: %1").arg(last);
}

// Ends ssh, and with ORVEX_SSH_COMMAND the shell it runs under as well.
void endForward(QProcess& ssh) {
    const auto pid = pid_t(ssh.processId());
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        // pid (name) state ppid ...: the name may hold spaces, not ")".
        const QByteArray line = stat.open(QIODevice::ReadOnly) ? stat.readAll() : QByteArray();
        const QList<QByteArray> after = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (pid > 0 && after.size() > 1 && after[1].toInt() == pid)
            ::kill(entry.toInt(), SIGTERM);
    }
    ssh.terminate();
    if (!ssh.waitForFinished(3000))
        ssh.kill(), ssh.waitForFinished();
}

PageEffects::Tone toneOf(const QString& name) {
    if (name == QLatin1String("green"))
        return PageEffects::Tone::Green;
    return name == QLatin1String("red") ? PageEffects::Tone::Red : PageEffects::Tone::Same;
}
} // namespace

RemotePages::RemotePages(ModulePages& pages) : m_pages(pages) {}

RemotePages::~RemotePages() {
    if (m_channel)
        m_channel->listen({}, {}); // its end is ours now
    if (m_forward) {
        m_forward->disconnect();
        endForward(*m_forward);
    }
}

bool RemotePages::open(const QString& portName, const QByteArray& selectFrame) {
    int subrack = 0, slot = 0;
    if (!AgentAddress::parse(portName, &m_address, &m_error))
        return false;
    if (!Link::selectedBy(selectFrame, &subrack, &slot)) {
        m_error = QStringLiteral("the pages behind an agent need the module's address");
        return false;
    }
    m_channel = std::make_unique<AgentChannel>();
    if (!m_channel->open(m_address, &m_error))
        return false;
    const auto notified = [this](const QString& m, const QJsonObject& p) { this->notified(m, p); };
    const JsonRpc::Message answer =
        m_channel->call(QStringLiteral("pages.v1"),
                        {{QStringLiteral("select"), QJsonArray{subrack, slot}}}, notified);
    if (answer.error) {
        m_error = answer.error->message;
        m_channel.reset();
        return false;
    }
    m_windowSize =
        QByteArray::fromBase64(answer.result.value(QStringLiteral("size")).toString().toLatin1());
    m_channel->listen(notified, [this](const QString& reason) { lost(reason); });
    return true;
}

bool RemotePages::isOpen() const {
    return m_channel != nullptr;
}

bool RemotePages::serve(QString* error, quint16 preferred) {
    if (m_port)
        return true;
    if (!m_channel) {
        *error = QStringLiteral("the line is not open");
        return false;
    }
    // The port here: through ssh it is held until the agent listens (which may be on this
    // machine, a test's); an agent of this machine listens on it itself.
    QTcpServer here;
    if (preferred == 0 || !here.listen(QHostAddress::LocalHost, preferred))
        here.listen(QHostAddress::LocalHost, 0);
    const bool ssh = m_address.isSsh();
    const int wanted = here.serverPort();
    if (!ssh)
        here.close();
    const JsonRpc::Message answer = m_channel->call(
        QStringLiteral("pages.serve.v1"), {{QStringLiteral("port"), ssh ? 0 : wanted},
                                           {QStringLiteral("browserPort"), ssh ? wanted : 0}});
    if (answer.error) {
        *error = answer.error->message;
        return false;
    }
    const auto there = quint16(answer.result.value(QStringLiteral("port")).toInt());
    m_port = ssh ? quint16(wanted) : there;
    here.close();
    if (!ssh || forward(there, error))
        return true;
    m_port = 0;
    return false;
}

// The user's ssh listens on the port here; ready once a connection to it is taken.
bool RemotePages::forward(quint16 remote, QString* error) {
    m_forward = std::make_unique<QProcess>();
    QStringList command = m_address.forwardCommand(m_port, remote);
    m_forward->start(command.takeFirst(), command);
    bool ready = false;
    QTcpSocket probe;
    QTimer again;
    again.setSingleShot(true);
    QObject::connect(&probe, &QTcpSocket::connected, [&] { ready = true; });
    QObject::connect(&probe, &QTcpSocket::errorOccurred, [&] { again.start(kProbeAgainMs); });
    QObject::connect(&again, &QTimer::timeout, [&] {
        probe.abort();
        probe.connectToHost(QHostAddress::LocalHost, m_port);
    });
    again.start(0);
    const bool timedOut =
        !EventWait::until([&] { return ready || m_forward->state() == QProcess::NotRunning; },
                          QDeadlineTimer(kForwardLimitMs));
    if (ready) {
        QObject::connect(m_forward.get(), &QProcess::finished, [this] {
            lost(QStringLiteral("the forwarding ended (%1)").arg(lastWords(*m_forward)));
        });
        return true;
    }
    *error = timedOut ? QStringLiteral("the forwarding through ssh did not start within %1 s")
                            .arg(kForwardLimitMs / 1000)
                      : lastWords(*m_forward);
    endForward(*m_forward);
    m_forward.reset();
    return false;
}

void RemotePages::notified(const QString& method, const QJsonObject& p) {
    const QString text = p.value(QStringLiteral("text")).toString();
    if (method == QLatin1String("pages.status.v1")) {
        Q_EMIT m_pages.pageStatus(text, toneOf(p.value(QStringLiteral("tone")).toString()));
    } else if (method == QLatin1String("pages.wait.v1")) {
        Q_EMIT m_pages.waitBoxOpened(p.value(QStringLiteral("seconds")).toInt(), text);
    } else if (method == QLatin1String("pages.waitEnd.v1")) {
        Q_EMIT m_pages.waitBoxClosed();
    } else if (method == QLatin1String("pages.refusal.v1")) {
        if (m_pages.m_refusalHandler)
            m_pages.m_refusalHandler(text);
        if (m_channel)
            m_channel->notify(QStringLiteral("pages.read.v1"));
    } else if (char dir = 0; method == QLatin1String("bytes.v1") && m_pages.m_tap) {
        QByteArray bytes;
        if (JsonRpc::readBytesNote(p, &dir, &bytes))
            m_pages.m_tap(dir, bytes);
    }
}

void RemotePages::lost(const QString& reason) {
    Q_EMIT m_pages.pageStatus(
        QStringLiteral("The connection to the agent was lost: %1").arg(reason),
        PageEffects::Tone::Red);
}
