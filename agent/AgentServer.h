#pragma once

#include "link/JsonRpc.h"

#include <QLocalServer>
#include <QObject>
#include <functional>
#include <memory>

class HeadendMonitor;
class HeadendSession;
class LineBridge;
class LineHistory;
class QLocalSocket;

// The agent's operations on a Unix socket, JSON-RPC 2.0 one object a line. The socket is
// mode 0660 and, where the group "orvex" exists, belongs to it: who may change the head-end is
// who is in that group. Each connection is one client, known by the user the kernel names for
// it; its requests run on the monitor one at a time in the order they came (those of every
// client), what they say arrives as notifications before the answer, and every change is
// logged with the user's name and counted. Every client hears of every change, of a line
// lost or back and of a module's health changing (event.v1). A client may ask for the line
// itself (line.v1): once it is lent, the connection carries the line's bytes both ways.
class AgentServer : public QObject {
    Q_OBJECT
public:
    AgentServer(HeadendMonitor& monitor, LineBridge& bridge, QObject* parent = nullptr);
    ~AgentServer() override;

    // Listens on path (an old socket there is replaced); false with the reason.
    bool listen(const QString& path, QString* error);

private:
    struct Client;
    void onConnection();
    void onBytes(const std::shared_ptr<Client>& client);
    void take(const std::shared_ptr<Client>& client, const QByteArray& line);
    void runCommand(const std::shared_ptr<Client>& client, const JsonRpc::Message& request);
    void runSessionCall(const std::shared_ptr<Client>& client, const JsonRpc::Message& request);
    void runPageCall(const std::shared_ptr<Client>& client, const JsonRpc::Message& request);
    void enqueue(const std::shared_ptr<Client>& client, const QJsonValue& id,
                 std::function<void(HeadendSession&)> run);
    void lendLine(const std::shared_ptr<Client>& client, const JsonRpc::Message& request);
    void showPages(const std::shared_ptr<Client>& client, const JsonRpc::Message& m);
    void watchLine(const std::shared_ptr<Client>& client, const JsonRpc::Message& m);
    void openConsole(const std::shared_ptr<Client>& client, const JsonRpc::Message& m);
    void noteChange(const Client& client, const QString& change, int status);
    // An event.v1 notification to every client.
    void tell(const QJsonObject& what);
    void tellChange(const QString& change, const QString& user, int status);

    HeadendMonitor& m_monitor;
    LineBridge& m_bridge;
    QLocalServer m_server;
    QList<std::shared_ptr<Client>> m_clients;
    std::unique_ptr<LineHistory> m_history;
};
