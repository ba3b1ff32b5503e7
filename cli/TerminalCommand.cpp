// terminal G/S: the module's console in the user's terminal. The keys wait until the module
// asks for each with SYN; the console ends with EOT from the module, Ctrl-], a signal, or,
// when the keys come from a pipe or file, once they are used up and the line has gone quiet.
#include "cli/CliSession.h"
#include "cli/KeyInput.h"

#include "link/ConsoleSession.h"

#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>
#include <cerrno>
#include <unistd.h>

namespace {
constexpr int kEscapeWaitMs = 30;   // the rest of an escape sequence comes at once
constexpr int kQuietEndMs = 1000;   // after the last key of a pipe, when nothing more comes
constexpr int kInputBacklog = 4096; // read no further ahead of the module than this

class ConsoleRun {
public:
    ConsoleRun(Link& link, SharedState& state, CliHost& host)
        : m_host(host), m_console(link, state, host), m_input(host.io().in, QSocketNotifier::Read) {
        m_escape.setSingleShot(true);
        m_quiet.setSingleShot(true);
        QObject::connect(&m_console, &ConsoleSession::text, [this](const QByteArray& t) {
            if (t.isEmpty()) // only a request for a key: nothing to show, nor the end of a quiet
                return;
            // EOT ends the console: it is the module's word to us, not for the user's screen.
            const qsizetype eot = t.indexOf(Ascii::EOT);
            m_host.outRaw(eot < 0 ? t : t.first(eot));
            if (m_inputEnded)
                m_quiet.start(kQuietEndMs);
        });
        QObject::connect(&m_console, &ConsoleSession::keySent, [this] { feedKeys(false); });
        QObject::connect(&m_console, &ConsoleSession::ended, &m_loop, &QEventLoop::quit);
        QObject::connect(&m_console, &ConsoleSession::lost, [this](const QString& reason) {
            m_lost = reason;
            m_loop.quit();
        });
        QObject::connect(&m_input, &QSocketNotifier::activated, [this] { readKeys(); });
        QObject::connect(&m_escape, &QTimer::timeout, [this] { feedKeys(true); });
        QObject::connect(&m_quiet, &QTimer::timeout, &m_loop, &QEventLoop::quit);
        QObject::connect(&m_signals, &SignalWatch::caught, &m_loop, &QEventLoop::quit);
    }

    // Runs the console until it ends; the reason the port was lost, else empty.
    QString exec() {
        {
            RawTerminal raw(m_host.io().in);
            m_console.open();
            m_loop.exec();
            m_console.close();
        }
        return m_lost;
    }

private:
    void readKeys() {
        char buffer[512];
        const ssize_t n = ::read(m_host.io().in, buffer, sizeof buffer);
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            return;
        if (n <= 0) {
            m_inputEnded = true;
            m_input.setEnabled(false);
            m_quiet.start(kQuietEndMs);
            feedKeys(true);
            return;
        }
        m_keys.feed(QByteArray(buffer, int(n)));
        feedKeys(false);
    }

    // Moves keys into the console's ring while it has room; the rest waits here.
    void feedKeys(bool final) {
        quint16 key = 0;
        while (m_console.keys().pending() < ConsoleKeys::Size &&
               m_keys.next(&key, final || m_inputEnded))
            m_console.type(key);
        if (m_keys.endRequested()) {
            m_loop.quit();
            return;
        }
        if (!m_keys.empty() && m_console.keys().pending() < ConsoleKeys::Size)
            m_escape.start(kEscapeWaitMs);
        if (!m_inputEnded)
            m_input.setEnabled(m_keys.size() < kInputBacklog);
    }

    CliHost& m_host;
    ConsoleSession m_console;
    QSocketNotifier m_input;
    SignalWatch m_signals;
    KeyDecoder m_keys;
    QEventLoop m_loop;
    QTimer m_escape;
    QTimer m_quiet;
    bool m_inputEnded = false;
    QString m_lost;
};

} // namespace

int CliSession::terminal() {
    const ModuleAddress at = address(0);
    const TModule& m = probe(at);
    if (!m.hasConsole())
        throw CliFailure{
            StatusModuleErrors,
            QStringLiteral("Module %1 (%2) has no console.").arg(at.name(), m.TypeName)};
    m_host.err(
        QStringLiteral("Console of module %1 (%2); Ctrl-] ends it.").arg(at.name(), m.TypeName));
    ConsoleRun run(m_link, m_state, m_host);
    const QString lost = run.exec();
    if (!lost.isEmpty())
        throw PortError(Link::lostText(lost));
    m_host.err(QString());
    m_host.err(QStringLiteral("Console of module %1 closed.").arg(at.name()));
    return StatusDone;
}
