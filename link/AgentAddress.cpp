#include "link/AgentAddress.h"

#include <QRegularExpression>
#include <QUrl>
#include <cerrno>
#include <cstring>

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

QStringList AgentAddress::sshCommand() const {
    QStringList remote{QStringLiteral("orvex-agent"), QStringLiteral("--stdio")};
    if (!line.isEmpty())
        remote << line;
    return ssh({QStringLiteral("-T")}, remote);
}

QStringList AgentAddress::forwardCommand(quint16 local, quint16 remote) const {
    const QString ends = QStringLiteral("127.0.0.1:%1:127.0.0.1:%2").arg(local).arg(remote);
    return ssh({QStringLiteral("-N"), QStringLiteral("-o"),
                QStringLiteral("ExitOnForwardFailure=yes"), QStringLiteral("-L"), ends},
               {});
}

QStringList AgentAddress::ssh(const QStringList& options, const QStringList& remote) const {
    // A network gone silent is told within half a minute, not after TCP's hours.
    QStringList args = options;
    args << QStringLiteral("-o") << QStringLiteral("ServerAliveInterval=10") << QStringLiteral("-o")
         << QStringLiteral("ServerAliveCountMax=3");
    if (port > 0)
        args << QStringLiteral("-p") << QString::number(port);
    if (!user.isEmpty())
        args << QStringLiteral("-l") << user;
    args << host << remote;
    const QString command = qEnvironmentVariable("ORVEX_SSH_COMMAND");
    if (command.isEmpty())
        return QStringList{QStringLiteral("ssh")} + args;
    return QStringList{QStringLiteral("/bin/sh"), QStringLiteral("-c"),
                       command + QStringLiteral(" \"$@\""), QStringLiteral("ssh")} +
           args;
}

QString AgentAddress::unreachableText(int error) {
    switch (error) {
    case ENOENT:
        return QStringLiteral("no such socket (is the agent of that line running?)");
    case ECONNREFUSED:
        return QStringLiteral("no agent listens there");
    case EACCES:
        return QStringLiteral("permission denied (the agent's socket is for the group orvex)");
    default:
        return QString::fromLocal8Bit(std::strerror(error));
    }
}
