#pragma once

#include "net/JsonRpc.h"

#include <QIODevice>
#include <QJsonObject>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

// The way to a site agent, by port name:
//   agent:PATH       its socket (agent:/run/orvex-agent/ttyUSB0.sock)
//   agent:LINE       the socket of that line in the agents' folder (agent:ttyUSB0)
//   ssh://[USER@]HOST[:PORT][/LINE]
//                    the user's own ssh to HOST, running "orvex-agent --stdio [LINE]" there;
//                    ORVEX_SSH_COMMAND replaces "ssh" (a shell command, as git's
//                    GIT_SSH_COMMAND), e.g. "ssh -i ~/.ssh/site_key -J jump.example.net".
struct AgentAddress {
    QString socket; // agent:
    QString user, host, line;
    int port = 0; // ssh://; 0: ssh's own
    bool isSsh() const { return !host.isEmpty(); }

    // The port names above; false for any other name, or with the problem in *error for a
    // malformed one of these kinds.
    static bool parse(const QString& port, AgentAddress* out, QString* error);
    static bool isAgentPort(const QString& port);
    // The folder of the agents' sockets: ORVEX_AGENT_DIR, else /run/orvex-agent.
    static QString socketFolder();
    // A line's socket: a path as it is, a name in socketFolder().
    static QString socketOf(const QString& line);
};

// A file's name as the files of a command travel between a client and its agent: no folder,
// not "." or "..".
bool isPlainFileName(const QString& name);

// One connection to an agent. call() sends a request and serves events until its answer;
// the notifications that come meanwhile go to the handler.
class AgentChannel : public QObject {
    Q_OBJECT
public:
    using Notified = std::function<void(const QString& method, const QJsonObject& params)>;

    AgentChannel();
    ~AgentChannel() override;

    // Connects; false with the reason in *error.
    bool open(const AgentAddress& address, QString* error);
    // The answer's result, or its error (the connection lost is an error too).
    JsonRpc::Message call(const QString& method, const QJsonObject& params,
                          const Notified& notified = {});

private:
    void readLines();

    std::unique_ptr<QIODevice> m_device;
    JsonRpc::LineReader m_reader;
    QList<JsonRpc::Message> m_arrived;
    QString m_lostReason;
    int m_nextId = 1;
};
