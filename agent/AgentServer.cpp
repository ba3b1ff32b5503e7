#include "agent/AgentServer.h"

#include "agent/AgentCommand.h"
#include "agent/HeadendMonitor.h"
#include "agent/LineBridge.h"
#include "agent/LineHistory.h"
#include "agent/Log.h"
#include "agent/PageCalls.h"
#include "agent/SessionCalls.h"
#include "agent/SiteConsole.h"
#include "agent/SitePages.h"
#include "link/Transport.h"

#include <QFile>
#include <QLocalSocket>
#include <QTimer>
#include <cerrno>
#include <cstring>
#include <grp.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
JsonRpc::Error inUse(const QString& who) {
    return {JsonRpc::LineInUse,
            QStringLiteral("%1: %2").arg(QLatin1String(Transport::InUseText), who)};
}

// The user at the other end of a Unix socket, as the kernel knows it: the name and uid in
// words, and the uid (none: -1).
QString peerUser(qintptr fd, uid_t* uid) {
    ucred cred{};
    socklen_t size = sizeof cred;
    *uid = uid_t(-1);
    if (getsockopt(int(fd), SOL_SOCKET, SO_PEERCRED, &cred, &size) != 0)
        return QStringLiteral("(unknown)");
    *uid = cred.uid;
    const passwd* pw = getpwuid(cred.uid);
    const QString name = pw ? QString::fromLocal8Bit(pw->pw_name) : QStringLiteral("?");
    return QStringLiteral("%1 (uid %2)").arg(name).arg(cred.uid);
}
} // namespace

struct AgentServer::Client {
    QLocalSocket* socket = nullptr;
    QString user;
    uid_t uid = uid_t(-1);
    JsonRpc::LineReader reader;
    std::unique_ptr<SitePages> pages; // asked for on this connection
    std::unique_ptr<SiteConsole> console;
    bool gone = false;
    bool stopAsked = false; // by stop.v1, for the operation under way
    bool watching = false;  // told every frame on the line (monitor.v1)
    void send(const QByteArray& line) {
        if (!gone)
            socket->write(line), socket->flush();
    }
};

AgentServer::AgentServer(HeadendMonitor& monitor, LineBridge& bridge, QObject* parent)
    : QObject(parent), m_monitor(monitor), m_bridge(bridge),
      m_history(std::make_unique<LineHistory>(monitor.port())) {
    connect(&m_server, &QLocalServer::newConnection, this, &AgentServer::onConnection);
    connect(&monitor, &HeadendMonitor::event, this, &AgentServer::tell);
    // What a client that holds the line writes to a module, every other client hears of.
    connect(&bridge, &LineBridge::changed, this,
            [this](const QString& change, const QString& user) { tellChange(change, user, 0); });
}

void AgentServer::tellChange(const QString& change, const QString& user, int status) {
    tell({{QStringLiteral("kind"), QStringLiteral("change")},
          {QStringLiteral("command"), change},
          {QStringLiteral("user"), user},
          {QStringLiteral("status"), status}});
}

// Who changed what: the journal, the metrics and every client.
void AgentServer::noteChange(const Client& client, const QString& change, int status) {
    m_monitor.noteChange(change.section(QLatin1Char(' '), 0, 0));
    monitorLog(QStringLiteral("%1 by %2: exit status %3%4")
                   .arg(change, client.user)
                   .arg(status)
                   .arg(client.gone ? QStringLiteral(" (the client left meanwhile)") : QString()));
    tellChange(change, client.user, status);
}

void AgentServer::tell(const QJsonObject& what) {
    for (const std::shared_ptr<Client>& client : std::as_const(m_clients))
        client->send(JsonRpc::notification(QStringLiteral("event.v1"), what));
}

AgentServer::~AgentServer() = default;

bool AgentServer::listen(const QString& path, QString* error) {
    QLocalServer::removeServer(path);
    if (!m_server.listen(path)) {
        *error = m_server.errorString();
        return false;
    }
    const QByteArray local = QFile::encodeName(path);
    const group* orvex = getgrnam("orvex");
    if (chmod(local.constData(), 0660) != 0 ||
        (orvex && chown(local.constData(), uid_t(-1), orvex->gr_gid) != 0)) {
        *error = QString::fromLocal8Bit(strerror(errno));
        m_server.close();
        return false;
    }
    return true;
}

void AgentServer::onConnection() {
    while (QLocalSocket* socket = m_server.nextPendingConnection()) {
        auto client = std::make_shared<Client>();
        client->socket = socket;
        client->user = peerUser(socket->socketDescriptor(), &client->uid);
        connect(socket, &QLocalSocket::readyRead, this, [this, client] { onBytes(client); });
        connect(socket, &QLocalSocket::disconnected, this, [this, client] {
            client->gone = true;
            client->pages.reset(); // the line goes back
            client->console.reset();
            client->socket->deleteLater();
            m_clients.removeOne(client);
        });
        m_clients << client;
    }
}

void AgentServer::onBytes(const std::shared_ptr<Client>& client) {
    for (const JsonRpc::LineReader::Line& line : client->reader.feed(client->socket->readAll())) {
        if (!line.tooLong)
            take(client, line.bytes);
        else
            client->send(JsonRpc::error(
                QJsonValue(), {JsonRpc::InvalidRequest,
                               QStringLiteral("a request of more than %1 bytes is not read")
                                   .arg(JsonRpc::MaxLineBytes)}));
    }
}

void AgentServer::take(const std::shared_ptr<Client>& client, const QByteArray& line) {
    JsonRpc::Message m;
    if (const auto error = JsonRpc::read(line, &m))
        return client->send(JsonRpc::error(m.id, *error));
    if (m.isAnswer())
        return; // nothing is asked of a client
    if (m.method == QLatin1String("stop.v1"))
        return void(client->stopAsked = true);
    if (m.method == QLatin1String("hello.v1"))
        return client->send(
            JsonRpc::result(m.id, {{QStringLiteral("agent"), QStringLiteral(ORVEX_VERSION)},
                                   {QStringLiteral("line"), m_monitor.status().port},
                                   {QStringLiteral("user"), client->user}}));
    if (m.method == QLatin1String("line.v1"))
        return lendLine(client, m);
    if (m.method == QLatin1String("monitor.v1"))
        return watchLine(client, m);
    if (SitePages::serves(m.method))
        return showPages(client, m);
    if (SiteConsole::serves(m.method))
        return openConsole(client, m);
    if (PageCalls::answersAtOnce(m.method))
        return client->send(JsonRpc::result(m.id, PageCalls::atOnce(m.method, m_monitor.status())));
    if (PageCalls::usesLine(m.method))
        return runPageCall(client, m);
    if (SessionCalls::serves(m.method))
        return runSessionCall(client, m);
    if (!AgentCommand::serves(m.method))
        return client->send(JsonRpc::error(
            m.id, {JsonRpc::MethodNotFound, QStringLiteral("no method %1").arg(m.method)}));
    runCommand(client, m);
}

void AgentServer::runSessionCall(const std::shared_ptr<Client>& client,
                                 const JsonRpc::Message& request) {
    enqueue(client, request.id, [this, client, request](HeadendSession& session) {
        client->stopAsked = false;
        const JsonRpc::Message answer = SessionCalls::run(
            request.method, request.params, session,
            [client](const QString& method, const QJsonObject& params) {
                client->send(JsonRpc::notification(method, params));
            },
            [client] { return client->gone || client->stopAsked; },
            [this](LinkHost* host) { m_monitor.lendHost(host); });
        if (const QString change = SessionCalls::change(request.method, request.params);
            !change.isEmpty() && !answer.error)
            noteChange(*client, change, answer.result.value(QStringLiteral("status")).toInt());
        client->send(answer.error ? JsonRpc::error(request.id, *answer.error)
                                  : JsonRpc::result(request.id, answer.result));
    });
}

void AgentServer::runPageCall(const std::shared_ptr<Client>& client,
                              const JsonRpc::Message& request) {
    enqueue(client, request.id, [this, client, request](HeadendSession& session) {
        QString change;
        const JsonRpc::Message answer =
            PageCalls::onLine(request.method, request.params, session, m_monitor.trends(), &change);
        const bool done = answer.result.value(QStringLiteral("written")).toBool(true) &&
                          answer.result.value(QStringLiteral("committed")).toBool(true);
        if (!change.isEmpty())
            noteChange(*client, change, done ? 0 : 1);
        client->send(answer.error ? JsonRpc::error(request.id, *answer.error)
                                  : JsonRpc::result(request.id, answer.result));
    });
}

void AgentServer::runCommand(const std::shared_ptr<Client>& client,
                             const JsonRpc::Message& request) {
    auto command = std::make_shared<AgentCommand>();
    if (const auto error = command->prepare(request.method, request.params))
        return client->send(JsonRpc::error(request.id, *error));
    enqueue(client, request.id, [this, client, command, id = request.id](HeadendSession& session) {
        const auto output = [client](const QString& stream, const QString& text) {
            client->send(JsonRpc::notification(
                QStringLiteral("output.v1"),
                {{QStringLiteral("stream"), stream}, {QStringLiteral("text"), text}}));
        };
        const QJsonObject result = command->run(
            session, output, [client] { return client->gone; },
            [this](LinkHost* host) { m_monitor.lendHost(host); });
        if (const QString change = command->change(); !change.isEmpty())
            noteChange(*client, change, result.value(QStringLiteral("status")).toInt());
        client->send(JsonRpc::result(id, result));
    });
}

// Runs once the monitor is between two steps. While another client holds the line it waits a
// moment (the holder may be this client itself, letting go), then it is refused with who holds
// the line: an engineer is told, not kept waiting behind another's window.
void AgentServer::enqueue(const std::shared_ptr<Client>& client, const QJsonValue& id,
                          std::function<void(HeadendSession&)> run) {
    auto answered = std::make_shared<bool>(false);
    HeadendMonitor::Operation op;
    op.refused = [client, id, answered](const QString& reason) {
        if (!std::exchange(*answered, true))
            client->send(JsonRpc::error(
                id, {JsonRpc::LineDown, QStringLiteral("The line is down: %1").arg(reason)}));
    };
    op.run = [client, answered, run = std::move(run)](HeadendSession& session) {
        if (!client->gone && !std::exchange(*answered, true))
            run(session);
    };
    m_monitor.enqueue(std::move(op));
    if (m_bridge.inUseBy().isEmpty())
        return;
    QTimer::singleShot(LineBridge::InUseGraceMs, this, [this, client, id, answered] {
        if (const QString who = m_bridge.inUseBy(); !who.isEmpty() && !*answered) {
            *answered = true;
            client->send(JsonRpc::error(id, inUse(who)));
        }
    });
}

void AgentServer::showPages(const std::shared_ptr<Client>& client, const JsonRpc::Message& m) {
    if (!client->pages)
        client->pages = std::make_unique<SitePages>(
            m_bridge, m_monitor.status().port,
            [c = client.get()](const QByteArray& line) { c->send(line); });
    client->pages->take(m, client->user, client->uid);
}

// The frames kept so far (the newest "last" of them); with "follow" (the default) every frame
// from now on too.
void AgentServer::watchLine(const std::shared_ptr<Client>& client, const JsonRpc::Message& m) {
    const int last = m.params.value(QStringLiteral("last")).toInt();
    client->send(JsonRpc::result(m.id, {{QStringLiteral("frames"), m_history->recent(last)}}));
    if (client->watching || !m.params.value(QStringLiteral("follow")).toBool(true))
        return;
    client->watching = true;
    connect(m_history.get(), &LineHistory::frame, client->socket, [client](const QJsonObject& f) {
        client->send(JsonRpc::notification(QStringLiteral("monitor.frame.v1"), f));
    });
}

void AgentServer::openConsole(const std::shared_ptr<Client>& client, const JsonRpc::Message& m) {
    if (!client->console)
        client->console = std::make_unique<SiteConsole>(
            m_bridge, m_monitor.status().port,
            [c = client.get()](const QByteArray& line) { c->send(line); });
    client->console->take(m, client->user);
}

void AgentServer::lendLine(const std::shared_ptr<Client>& client, const JsonRpc::Message& request) {
    QLocalSocket* socket = client->socket;
    const auto answer = [socket, id = request.id,
                         port = m_monitor.status().port](const QString& refusal) {
        socket->write(
            refusal.isEmpty()
                ? JsonRpc::result(id, {{QStringLiteral("line"), port}})
                : JsonRpc::error(id,
                                 {JsonRpc::LineDown,
                                  QStringLiteral("the line cannot be opened: %1").arg(refusal)}));
    };
    if (const QString who = m_bridge.inUseBy(); !who.isEmpty())
        return client->send(JsonRpc::error(request.id, inUse(who)));
    // From here on the socket is the line's: no answers, no events.
    socket->disconnect(this);
    m_clients.removeOne(client);
    client->gone = true;
    m_bridge.lend(socket, client->user, answer);
}
