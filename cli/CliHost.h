#pragma once

#include "link/LinkHost.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdio>

// Where orvex-cli writes: results to out, status texts and messages to err.
struct CliIo {
    FILE* out = stdout;
    FILE* err = stderr;
    int in = 0;               // file descriptor of the keys for "terminal"
    bool errTerminal = false; // err is shown on a terminal, whatever kind of stream it is
};

// The engine's host on a console: the status texts go to stderr (rewritten in place on a
// terminal, one line each otherwise, an appended mark continuing its line; progress of a
// scan or a read only on a terminal), message boxes
// become lines on stderr, pauses serve events. There are no controls to enable and no panel
// whose commit timer could be re-armed.
class CliHost : public LinkHost {
public:
    explicit CliHost(const CliIo& io);

    void SetStatus(const QString& text) override;
    QString statusText() const override { return m_status; }
    // Nothing to enable: no other command can start while one runs.
    void EnableControls(bool) override {}
    void showMessage(const QString& text, bool error) override;
    // A commit is deferred only while a write waits for its answer, which never overlaps
    // another exchange here; the command that commits reports the commit as not confirmed.
    void rearmCommitTimer() override {}
    void pause(int ms) override;
    // The status line already shows how far an operation is.
    void progress(int, int) override {}

    // While set, status texts are progress only: shown on a terminal, left out of a log.
    void setTransient(bool transient) { m_transient = transient; }

    // Ends the status line: kept on screen (the status is the result) or, on a terminal,
    // wiped (the result follows on stdout).
    void finishStatus(bool keep);

    const CliIo& io() const { return m_io; }
    bool errIsTerminal() const { return m_errTty; }

    // Output: a line of the result, raw bytes of the result, a line on stderr.
    void out(const QString& line);
    void outRaw(const QByteArray& bytes);
    void err(const QString& line);
    // Bytes on stderr as they are (what a command at a site agent wrote on its own).
    void writeErr(const QByteArray& bytes);

private:
    CliIo m_io;
    bool m_errTty = false;
    QString m_status;
    bool m_lineOpen = false;
    bool m_transient = false;
};

// Status texts are progress only for as long as it lives.
class TransientStatus {
public:
    explicit TransientStatus(CliHost& host) : m_host(host) { m_host.setTransient(true); }
    ~TransientStatus() { m_host.setTransient(false); }
    TransientStatus(const TransientStatus&) = delete;
    TransientStatus& operator=(const TransientStatus&) = delete;

private:
    CliHost& m_host;
};
