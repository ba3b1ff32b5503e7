#include "net/AgentChannel.h"

#include "link/EventWait.h"

#include <QDir>
#include <QLocalSocket>
#include <QProcess>
#include <QScopeGuard>
#include <cerrno>

namespace {
// Why a socket could not be reached, in the user's terms.
QString unreachable(const QLocalSocket& socket) {
    switch (socket.error()) {
    case QLocalSocket::ServerNotFoundError:
        return AgentAddress::unreachableText(ENOENT);
    case QLocalSocket::ConnectionRefusedError:
        return AgentAddress::unreachableText(ECONNREFUSED);
    case QLocalSocket::SocketAccessError:
        return AgentAddress::unreachableText(EACCES);
    default:
        return socket.errorString();
    }
}
} // namespace

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
                [this] { noteLost(QStringLiteral("the agent closed the connection")); });
        m_device = std::move(socket);
    } else {
        auto ssh = std::make_unique<QProcess>();
        ssh->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QStringList command = a.sshCommand();
        ssh->start(command.takeFirst(), command);
        if (!ssh->waitForStarted()) {
            *error = QStringLiteral("ssh cannot be started: %1").arg(ssh->errorString());
            return false;
        }
        connect(ssh.get(), &QProcess::finished, this, [this](int status) {
            noteLost(QStringLiteral("ssh ended (status %1)").arg(status));
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
    deliver();
}

void AgentChannel::noteLost(const QString& reason) {
    m_lostReason = reason;
    deliver();
}

void AgentChannel::deliver() {
    if (m_inCall || (!m_listener && !m_lost))
        return;
    while (!m_arrived.isEmpty()) {
        const JsonRpc::Message m = m_arrived.takeFirst();
        if (!m.isAnswer() && m_listener)
            m_listener(m.method, m.params);
    }
    if (!m_lostReason.isEmpty() && m_lost)
        std::exchange(m_lost, {})(m_lostReason);
}

void AgentChannel::listen(Notified notified, std::function<void(const QString&)> lost) {
    m_listener = std::move(notified);
    m_lost = std::move(lost);
    deliver();
}

void AgentChannel::notify(const QString& method, const QJsonObject& params) {
    m_device->write(JsonRpc::notification(method, params));
}

JsonRpc::Message AgentChannel::call(const QString& method, const QJsonObject& params,
                                    const Notified& notified, const std::function<bool()>& stop) {
    const int id = m_nextId++;
    m_device->write(JsonRpc::request(id, method, params));
    m_inCall = true;
    const auto done = qScopeGuard([this] { m_inCall = false; });
    bool stopSent = false;
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
        // The agent ends the operation as it would end here: after the module at hand.
        if (!stopSent && stop && stop()) {
            m_device->write(JsonRpc::notification(QStringLiteral("stop.v1"), {}));
            stopSent = true;
        }
        EventWait::until([&] {
            return !m_arrived.isEmpty() || !m_lostReason.isEmpty() || (!stopSent && stop && stop());
        });
    }
}
