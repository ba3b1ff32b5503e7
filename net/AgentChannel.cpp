#include "net/AgentChannel.h"

#include "link/EventWait.h"

#include <QDir>
#include <QLocalSocket>
#include <QProcess>
#include <QRegularExpression>
#include <QUrl>

namespace {
const QString kAgentScheme = QStringLiteral("agent:");
const QString kSshScheme = QStringLiteral("ssh://");

// A line's name as the agent's units name it: ttyUSB0, serial-by-id names, DEMO.
bool isLineName(const QString& line) {
    static const QRegularExpression name(QStringLiteral("^[A-Za-z0-9_.:+-]+$"));
    return name.match(line).hasMatch() && line != QLatin1String("..");
}

bool parseSsh(const QString& port, AgentAddress* out, QString* error) {
    const QUrl url(port, QUrl::StrictMode);
    const QString line = url.path().mid(1);
    if (!url.isValid() || url.host().isEmpty() || !url.query().isEmpty() ||
        !url.fragment().isEmpty() || !url.password().isEmpty()) {
        *error = QStringLiteral("%1: an SSH port is ssh://[USER@]HOST[:PORT][/LINE]").arg(port);
        return false;
    }
    if (!line.isEmpty() && !isLineName(line)) {
        *error =
            QStringLiteral("%1: '%2' is no line name (letters, digits, . _ - : +)").arg(port, line);
        return false;
    }
    *out = AgentAddress{{}, url.userName(), url.host(), line, url.port(0)};
    return true;
}
// Why a socket could not be reached, in the user's terms.
QString unreachable(const QLocalSocket& socket) {
    switch (socket.error()) {
    case QLocalSocket::ServerNotFoundError:
        return QStringLiteral("no such socket (is the agent of that line running?)");
    case QLocalSocket::ConnectionRefusedError:
        return QStringLiteral("no agent listens there");
    case QLocalSocket::SocketAccessError:
        return QStringLiteral("permission denied (the agent's socket is for the group orvex)");
    default:
        return socket.errorString();
    }
}
} // namespace

bool isPlainFileName(const QString& name) {
    return !name.isEmpty() && !name.contains(QLatin1Char('/')) && name != QLatin1String(".") &&
           name != QLatin1String("..");
}

bool AgentAddress::isAgentPort(const QString& port) {
    return port.startsWith(kAgentScheme) || port.startsWith(kSshScheme);
}

bool AgentAddress::parse(const QString& port, AgentAddress* out, QString* error) {
    if (port.startsWith(kSshScheme))
        return parseSsh(port, out, error);
    if (!port.startsWith(kAgentScheme))
        return false;
    const QString line = port.mid(kAgentScheme.size());
    if (line.isEmpty() || (!line.contains(QLatin1Char('/')) && !isLineName(line))) {
        *error = QStringLiteral("%1: an agent port is agent:SOCKET-PATH or agent:LINE").arg(port);
        return false;
    }
    *out = AgentAddress{socketOf(line), {}, {}, {}, 0};
    return true;
}

QString AgentAddress::socketFolder() {
    const QString folder = qEnvironmentVariable("ORVEX_AGENT_DIR");
    return folder.isEmpty() ? QStringLiteral("/run/orvex-agent") : folder;
}

QString AgentAddress::socketOf(const QString& line) {
    return line.contains(QLatin1Char('/'))
               ? line
               : socketFolder() + QLatin1Char('/') + line + QStringLiteral(".sock");
}

AgentChannel::AgentChannel() = default;

AgentChannel::~AgentChannel() {
    // Every answer has come: ssh need not wait for the other end to close (a round trip).
    if (auto* ssh = qobject_cast<QProcess*>(m_device.get())) {
        ssh->terminate();
        if (!ssh->waitForFinished(3000))
            ssh->kill(), ssh->waitForFinished();
    }
}

bool AgentChannel::open(const AgentAddress& a, QString* error) {
    if (!a.isSsh()) {
        auto socket = std::make_unique<QLocalSocket>();
        socket->connectToServer(a.socket);
        if (!socket->waitForConnected(5000)) {
            *error = QStringLiteral("The agent's socket %1 cannot be reached: %2")
                         .arg(a.socket, unreachable(*socket));
            return false;
        }
        connect(socket.get(), &QLocalSocket::disconnected, this,
                [this] { m_lostReason = QStringLiteral("the agent closed the connection"); });
        m_device = std::move(socket);
    } else {
        // A network gone silent is told within half a minute, not after TCP's hours.
        QStringList args{QStringLiteral("-T"), QStringLiteral("-o"),
                         QStringLiteral("ServerAliveInterval=10"), QStringLiteral("-o"),
                         QStringLiteral("ServerAliveCountMax=3")};
        if (a.port > 0)
            args << QStringLiteral("-p") << QString::number(a.port);
        if (!a.user.isEmpty())
            args << QStringLiteral("-l") << a.user;
        args << a.host << QStringLiteral("orvex-agent") << QStringLiteral("--stdio");
        if (!a.line.isEmpty())
            args << a.line;
        auto ssh = std::make_unique<QProcess>();
        ssh->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        const QString command = qEnvironmentVariable("ORVEX_SSH_COMMAND");
        if (command.isEmpty())
            ssh->start(QStringLiteral("ssh"), args);
        else
            ssh->start(QStringLiteral("/bin/sh"),
                       QStringList{QStringLiteral("-c"), command + QStringLiteral(" \"$@\""),
                                   QStringLiteral("ssh")} +
                           args);
        if (!ssh->waitForStarted()) {
            *error = QStringLiteral("ssh cannot be started: %1").arg(ssh->errorString());
            return false;
        }
        connect(ssh.get(), &QProcess::finished, this, [this](int status) {
            m_lostReason = QStringLiteral("ssh ended (status %1)").arg(status);
        });
        m_device = std::move(ssh);
    }
    connect(m_device.get(), &QIODevice::readyRead, this, &AgentChannel::readLines);
    return true;
}

void AgentChannel::readLines() {
    for (const JsonRpc::LineReader::Line& line : m_reader.feed(m_device->readAll())) {
        JsonRpc::Message m;
        if (line.tooLong)
            m_lostReason = QStringLiteral("the agent sent a line longer than %1 bytes")
                               .arg(JsonRpc::MaxLineBytes);
        else if (const auto error = JsonRpc::read(line.bytes, &m))
            m_lostReason =
                QStringLiteral("the agent sent what is not an answer: %1").arg(error->message);
        else
            m_arrived << m;
    }
}

JsonRpc::Message AgentChannel::call(const QString& method, const QJsonObject& params,
                                    const Notified& notified) {
    const int id = m_nextId++;
    m_device->write(JsonRpc::request(id, method, params));
    for (;;) {
        while (!m_arrived.isEmpty()) {
            JsonRpc::Message m = m_arrived.takeFirst();
            if (!m.isAnswer()) {
                if (notified)
                    notified(m.method, m.params);
            } else if (m.id == QJsonValue(id)) {
                return m;
            }
        }
        if (!m_lostReason.isEmpty()) {
            JsonRpc::Message lost;
            lost.error = JsonRpc::Error{
                JsonRpc::ConnectionLost,
                QStringLiteral("The connection to the agent was lost: %1").arg(m_lostReason)};
            return lost;
        }
        EventWait::until([this] { return !m_arrived.isEmpty() || !m_lostReason.isEmpty(); });
    }
}
