#include "cli/CliSession.h"

#include "cli/Report.h"
#include "link/HeadendScan.h"
#include "link/PortInfo.h"
#include "net/AgentChannel.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>

namespace {

// "ttyS0: No such file or directory" → "No such file or directory".
QString reasonOf(const QString& error, const QString& port) {
    const QString prefix = port + QStringLiteral(": ");
    return error.startsWith(prefix) ? error.mid(prefix.size()) : error;
}

// One port a line, its name first (for scripts and the shell's completion), then what is
// known of it.
int ports(CliHost& host, bool json) {
    const QList<PortInfo> list = Ports::list();
    if (json) {
        QJsonArray array;
        for (const PortInfo& port : list)
            array << port.toJson();
        host.outRaw(QJsonDocument(QJsonObject{{"ports", array}}).toJson());
        return StatusDone;
    }
    qsizetype width = 0;
    for (const PortInfo& port : list)
        width = std::max(width, port.name.size());
    for (const PortInfo& port : list)
        host.out(
            (port.name.leftJustified(width) + QStringLiteral("  ") + port.details()).trimmed());
    return StatusDone;
}

} // namespace

int RunCli(const QStringList& arguments, const CliIo& io) {
    CliHost host(io);
    CliOptions options;
    QString error;
    if (!CliOptions::parse(arguments.mid(1), &options, &error)) {
        host.err(QStringLiteral("orvex-cli: %1 (see orvex-cli --help)").arg(error));
        return StatusUsage;
    }
    if (options.help) {
        host.outRaw(CliUsage().toUtf8());
        return StatusDone;
    }
    if (options.version) {
        host.out(QStringLiteral("orvex-cli %1").arg(QStringLiteral(ORVEX_VERSION)));
        return StatusDone;
    }
    if (options.command == QLatin1String("ports"))
        return ports(host, options.json);
    // The console and the pages need the line itself, which the agent lends; everything else
    // runs beside the head-end.
    const bool lineItself =
        options.command == QLatin1String("terminal") || options.command == QLatin1String("pages");
    if (AgentAddress::isAgentPort(options.port) && !lineItself)
        return RunThroughAgent(options, host);
    HeadendSession line(host);
    CliSession session(options, host, line);
    return session.run();
}

CliSession::CliSession(const CliOptions& options, CliHost& host, HeadendSession& session,
                       bool lineHeld)
    : m_options(options), m_host(host), m_session(session), m_lineHeld(lineHeld) {
    if (lineHeld)
        return;
    m_link.ScanTimeout = options.scanTimeout > 0 ? options.scanTimeout : Link::DefaultScanTimeout;
    m_link.ReplyTimeout = m_link.ScanTimeout;
}

CliSession::~CliSession() {
    if (!m_lineHeld)
        m_link.closePort();
    if (m_trace) {
        m_link.ComPort().setTap(m_tapBefore);
        m_trace->close();
    }
}

int CliSession::run() {
    try {
        if (!m_options.trace.isEmpty()) {
            m_trace = std::make_unique<LineTrace>();
            QString error;
            if (!m_trace->open(m_options.trace, &error))
                throw CliFailure{StatusUnusable,
                                 QStringLiteral("The trace file %1 cannot be written: %2")
                                     .arg(m_options.trace, error)};
            // After the agent's own tap, when the command runs there.
            m_tapBefore = m_link.ComPort().tap();
            m_link.ComPort().setTap(
                [trace = m_trace.get(), before = m_tapBefore](char dir, const QByteArray& b) {
                    if (before)
                        before(dir, b);
                    trace->bytes(dir, b);
                });
        }
        if (needsLine() && !m_lineHeld)
            openLine();
        return dispatch();
    } catch (const CliFailure& f) {
        m_host.finishStatus(true);
        m_host.err(f.message);
        return f.status;
    } catch (const PortError& e) {
        m_host.finishStatus(true);
        m_host.err(QStringLiteral("Port %1: %2").arg(m_link.ComPort().portName(), e.text()));
        return StatusUnusable;
    } catch (const OrvexError& e) {
        // A reply the parsers cannot read, or a record that does not hold what was asked.
        m_host.finishStatus(true);
        m_host.err(e.text());
        return StatusModuleErrors;
    }
}

void CliSession::openLine() {
    if (m_link.OpenLink(m_options.port))
        return;
    const QString name = m_link.ComPort().portName();
    throw CliFailure{StatusUnusable,
                     QStringLiteral("The port %1 cannot be opened: %2")
                         .arg(name, reasonOf(m_link.ComPort().errorString(), name))};
}

int CliSession::dispatch() {
    const QString& c = m_options.command;
    if (c == QLatin1String("scan"))
        return scan();
    if (c == QLatin1String("show"))
        return show();
    if (c == QLatin1String("set"))
        return set();
    if (c == QLatin1String("diag"))
        return diag();
    if (c == QLatin1String("reset"))
        return reset();
    if (c == QLatin1String("defaults"))
        return defaults();
    if (c == QLatin1String("terminal"))
        return terminal();
    if (c == QLatin1String("pages"))
        return pages();
    if (c.startsWith(QLatin1String("save-")) || c.startsWith(QLatin1String("load-")))
        return files();
    if (c == QLatin1String("diff"))
        return diff();
    if (c == QLatin1String("backup"))
        return backup();
    throw CliFailure{StatusUsage, QStringLiteral("unknown command '%1'").arg(c)};
}

ModuleAddress CliSession::address(int arg) const {
    ModuleAddress at;
    ModuleAddress::parse(m_options.args.value(arg), &at); // checked when parsing
    return at;
}

TModule& CliSession::probe(const ModuleAddress& at) {
    QuietScanView view;
    m_state.CurSubrack = at.subrack;
    TransientStatus progress(m_host);
    const bool present = m_session.probe(at, view);
    m_host.finishStatus(false);
    if (!present)
        throw CliFailure{StatusModuleErrors,
                         QStringLiteral("No module answers at %1.").arg(at.name())};
    return *m_modules.at(at.slot, at.subrack);
}

void CliSession::printJson(const QJsonObject& object) {
    m_host.outRaw(QJsonDocument(object).toJson(QJsonDocument::Indented));
}

int CliSession::runScan(const ModuleAddresses& expected) {
    QuietScanView view;
    TransientStatus progress(m_host);
    const int found = m_session.scan(view, ScanWords{}, expected,
                                     m_lineHeld ? ScanEnd::KeepPortOpen : ScanEnd::ClosePort);
    m_state.CurSubrack = 0;
    return found;
}

int CliSession::scan() {
    const int found = runScan();
    const QString status = ScanResultText(found);
    m_host.finishStatus(false);
    bool trouble = false;
    for (int g = 0; g < 2; ++g)
        for (int s = 0; s < 16; ++s) {
            const TModule* m = m_modules.at(s, g);
            trouble = trouble || (m && m->TypeName != NotInstalledText && Report::hasTrouble(*m));
        }
    if (m_options.json) {
        printJson(Report::scanJson(m_modules, status));
    } else {
        for (const QString& line : Report::scanLines(m_modules))
            m_host.out(line);
        m_host.out(status);
    }
    // A head-end where nothing answers is no result to go on with.
    return trouble || found == 0 ? StatusModuleErrors : StatusDone;
}
