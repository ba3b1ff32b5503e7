#pragma once

#include "link/AgentAddress.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <memory>

class AgentChannel;
class ModulePages;
class QProcess;

// The module pages behind a site agent (agent: and ssh:// port names), for ModulePages: the
// agent takes its line, asks the module for its window (pages.v1) and serves the pages beside
// the line on 127.0.0.1 there (pages.serve.v1); a page is then one round trip, not one per
// block. Through ssh a port here is forwarded to it by the user's own ssh (the links the
// agent's server writes into the pages name the port here). What serving a page does to the
// window comes back as notifications and is emitted by the ModulePages as its own; the pages
// end at the agent when the connection ends.
class RemotePages {
public:
    explicit RemotePages(ModulePages& pages);
    ~RemotePages();

    // Connects and asks for the pages of the module the select frame addresses; false with
    // errorString().
    bool open(const QString& portName, const QByteArray& selectFrame);
    bool isOpen() const;
    QString errorString() const { return m_error; }
    // The module's reply to "!G".
    QByteArray windowSize() const { return m_windowSize; }
    // The agent's server, reached here on the preferred port when it is free, else on a free
    // one. False with the reason.
    bool serve(QString* error, quint16 preferred);
    quint16 port() const { return m_port; }

private:
    void notified(const QString& method, const QJsonObject& params);
    void lost(const QString& reason);
    bool forward(quint16 remote, QString* error);

    ModulePages& m_pages;
    AgentAddress m_address;
    std::unique_ptr<AgentChannel> m_channel;
    std::unique_ptr<QProcess> m_forward; // ssh -L
    QString m_error;
    QByteArray m_windowSize;
    quint16 m_port = 0;
};
