#pragma once

#include "link/AgentAddress.h"
#include "link/JsonRpc.h"

#include <QIODevice>
#include <QJsonObject>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

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
    // The answer's result, or its error (the connection lost is an error too). When stop()
    // turns true the agent is asked to stop the operation (stop.v1), as a user's stop does
    // here, and its answer still comes.
    JsonRpc::Message call(const QString& method, const QJsonObject& params,
                          const Notified& notified = {}, const std::function<bool()>& stop = {});
    // Once a call has answered, what the agent still sends goes to this handler as it comes,
    // and the connection's end to lost (also when it has ended already).
    void listen(Notified notified, std::function<void(const QString& reason)> lost);
    void notify(const QString& method, const QJsonObject& params = {});

private:
    void readLines();
    void deliver();
    void noteLost(const QString& reason);

    std::unique_ptr<QIODevice> m_device;
    JsonRpc::LineReader m_reader;
    QList<JsonRpc::Message> m_arrived;
    QString m_lostReason;
    Notified m_listener;
    std::function<void(const QString&)> m_lost;
    bool m_inCall = false;
    int m_nextId = 1;
};
