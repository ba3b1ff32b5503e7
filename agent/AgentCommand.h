#pragma once

#include "cli/CliOptions.h"
#include "link/JsonRpc.h"

#include <QJsonObject>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <optional>

class HeadendSession;
class LinkHost;

// One orvex-cli command a client of the agent sent ("scan.v1", "load-config.v1", ...): its
// words, the files it reads in a folder of its own, then its run on the agent's session
// (the line stays open). What the command writes on stdout and stderr goes to the client as
// it comes (output.v1), with the client's names for the files; the answer carries the exit
// status and the files the command wrote.
class AgentCommand {
public:
    using Output = std::function<void(const QString& stream, const QString& text)>;
    AgentCommand() = default;
    ~AgentCommand();

    // The commands served this way.
    static bool serves(const QString& method);
    // Reads the request's parameters; the error to answer with when they cannot be used.
    std::optional<JsonRpc::Error> prepare(const QString& method, const QJsonObject& params);
    // The command as the change log names it ("load-config headend.mmh"); empty for one that
    // changes nothing.
    QString change() const;

    // Runs it; stopped() says the client has gone (a load stops after the module at hand).
    // lend(host) gives the session's words to the command's host.
    QJsonObject run(HeadendSession& session, const Output& output,
                    const std::function<bool()>& stopped,
                    const std::function<void(LinkHost*)>& lend);

private:
    struct Folder {
        QString path; // the client's name for it, up to its last "/"
        QString local;
        QJsonObject sent;
    };
    std::optional<JsonRpc::Error> readFolders(const QJsonArray& folders);
    bool onlyItsOwnFiles(const CliOptions& o) const;
    QString clientNames(QString text) const;
    QJsonArray written() const;

    QTemporaryDir m_dir;
    QList<Folder> m_folders;
    CliOptions m_options;    // read in prepare()
    QStringList m_shownArgs; // the arguments with the client's file names
    bool m_trace = false;
    bool m_terminal = false;
};
