#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

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
    // The program and arguments that reach an ssh:// agent: the user's ssh (or
    // ORVEX_SSH_COMMAND through /bin/sh) running "orvex-agent --stdio [LINE]" at the host.
    QStringList sshCommand() const;
    // The same ssh forwarding 127.0.0.1:LOCAL here to 127.0.0.1:REMOTE at the host (the pages
    // server the agent runs there) until its input ends (and the connections forwarded have
    // closed); it ends at once when it cannot listen.
    QStringList forwardCommand(quint16 local, quint16 remote) const;
    // Why an agent's socket could not be reached (errno of the connect), in the user's terms.
    static QString unreachableText(int error);

private:
    QStringList ssh(const QStringList& options, const QStringList& remote) const;
};

// A file's name as the files of a command travel between a client and its agent: no folder,
// not "." or "..".
bool isPlainFileName(const QString& name);
