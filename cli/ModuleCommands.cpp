// The commands on one module: show, set, diag, reset, defaults.
#include "cli/CliSession.h"
#include "cli/Report.h"

#include "link/DiagReport.h"
#include "link/HeadendScan.h"
#include "link/ModuleReload.h"
#include "module/Display.h"
#include "module/ParamAccess.h"

int CliSession::show() {
    const ModuleAddress at = address(0);
    const TModule& m = probe(at);
    if (m_options.json) {
        printJson(Report::showJson(m, at));
    } else {
        for (const QString& line : Report::showLines(m, at))
            m_host.out(line);
    }
    return Report::hasTrouble(m) ? StatusModuleErrors : StatusDone;
}

int CliSession::diag() {
    const ModuleAddress at = address(0);
    probe(at);
    const QStringList lines = DiagReport(m_link, m_modules, at.slot, at.subrack);
    m_host.finishStatus(false);
    const TModule& m = *m_modules.at(at.slot, at.subrack);
    if (m_options.json) {
        printJson(Report::diagJson(m, at, lines));
    } else {
        for (const QString& line : lines)
            m_host.out(line);
    }
    return Report::hasTrouble(m) ? StatusModuleErrors : StatusDone;
}

int CliSession::reset() {
    const ModuleAddress at = address(0);
    // Selected as a click on its slot selects it; reset with the configured time-out.
    m_link.ReplyTimeout = Protocol::PresenceTimeout;
    if (!m_link.SelectModule(at.subrack, at.slot))
        throw CliFailure{StatusModuleErrors,
                         QStringLiteral("No module answers at %1.").arg(at.name())};
    m_link.ReplyTimeout = m_link.ScanTimeout;
    if (!m_link.ResetModule())
        throw CliFailure{StatusModuleErrors,
                         QStringLiteral("Module %1 did not confirm the reset.").arg(at.name())};
    // It is silent while it restarts: the next command must find it there.
    m_link.ReplyTimeout = Protocol::PresenceTimeout;
    if (!AwaitRestart(m_link, m_host, at.subrack, at.slot))
        throw CliFailure{
            StatusModuleErrors,
            QStringLiteral("Module %1 reset; it does not answer again.").arg(at.name())};
    m_host.out(QStringLiteral("Module %1 reset.").arg(at.name()));
    return StatusDone;
}

int CliSession::defaults() {
    const ModuleAddress at = address(0);
    const TModule& m = probe(at);
    const bool taken = m_link.LoadDefaults(at.slot, at.subrack);
    // The family that takes its defaults as writes asks for a re-read, as in the program.
    if (m_session.reloadDue()) {
        TransientStatus progress(m_host);
        m_session.reload();
    }
    m_host.finishStatus(false);
    if (!taken)
        throw CliFailure{StatusModuleErrors,
                         QStringLiteral("Module %1 (%2) did not take its defaults.")
                             .arg(at.name(), m_modules.at(at.slot, at.subrack)->TypeName)};
    m_host.out(QStringLiteral("Module %1 (%2): defaults loaded.").arg(at.name(), m.TypeName));
    return StatusDone;
}

QString CliSession::paramLabel(const TModule& m, int index) const {
    return QStringLiteral("Module %1 parameter %2 (%3)")
        .arg(address(0).name())
        .arg(index)
        .arg(m.Params.at(index).Name);
}

qint32 CliSession::valueToWrite(const TModule& m, int index) const {
    const TParam& p = m.Params.at(index);
    const QString label = paramLabel(m, index);
    if (p.Kind == KindInfo || p.Kind == KindTerminal || p.Kind == KindError)
        throw CliFailure{StatusModuleErrors, QStringLiteral("%1 holds no value.").arg(label)};
    if (!m_options.hasShown) {
        bool ok = false;
        const qint32 raw = m_options.args.at(2).toInt(&ok);
        if (!ok)
            throw CliFailure{StatusUsage, QStringLiteral("'%1' is not a raw value: raw values "
                                                         "are whole numbers")
                                              .arg(m_options.args.at(2))};
        if (raw < 0 || raw > p.MaxValue)
            throw CliFailure{StatusModuleErrors,
                             QStringLiteral("%1 takes raw values 0 to %2, not %3.")
                                 .arg(label)
                                 .arg(p.MaxValue)
                                 .arg(raw)};
        return raw;
    }
    if (p.Kind == KindNumeric || p.Kind == KindNumericRO) {
        const ParamDisplay::TypedEntry typed = ParamDisplay::typedToRaw(p, m_options.shown);
        if (typed.outcome == ParamDisplay::TypedEntry::NotANumber)
            throw CliFailure{StatusUsage, typed.message};
        if (typed.outcome == ParamDisplay::TypedEntry::OutOfRange)
            throw CliFailure{StatusModuleErrors, typed.message};
        return typed.raw;
    }
    const QStringList entries = ParamDisplay::listEntries(p);
    const qsizetype entry = entries.indexOf(m_options.shown);
    if (entry < 0 || entry > p.MaxValue)
        throw CliFailure{StatusModuleErrors,
                         QStringLiteral("%1 has no entry '%2'; its entries: %3")
                             .arg(label, m_options.shown, entries.join(QStringLiteral(", ")))};
    return qint32(entry);
}

int CliSession::set() {
    const ModuleAddress at = address(0);
    TModule& m = probe(at);
    // A lost reply is a fault of the line, not of the command line.
    if (m.UnreadParts & TModule::InfoPart)
        throw CliFailure{
            StatusModuleErrors,
            QStringLiteral("The information of module %1 could not be read.").arg(at.name())};
    bool ok = false;
    const int index = m_options.args.at(1).toInt(&ok);
    const int count = int(qMin<qsizetype>(qMax(0, m.ParamCount), m.Params.size()));
    if (!ok || index < 0 || index >= count)
        throw CliFailure{StatusUsage,
                         QStringLiteral("Module %1 (%2) has no parameter '%3'; it has 0 to %4.")
                             .arg(at.name(), m.TypeName, m_options.args.at(1))
                             .arg(count - 1)};
    const qint32 raw = valueToWrite(m, index);
    const QString label = paramLabel(m, index);
    const QString type = m.TypeName;
    const int number = WriteNumber(m, index);
    const bool reread = number == ModuleTypeParameter || (m.Params[index].Flags & FlagReload);
    // The write waits as long as after the value read of a selection.
    m_link.ReplyTimeout = Protocol::ReadTimeout;
    if (!m_link.WriteValue(number, raw))
        throw CliFailure{StatusModuleErrors,
                         QStringLiteral("%1 refused the value %2.").arg(label).arg(raw)};
    // Re-read as the program does after a typed value (values, then the commit), the info
    // block as well when the parameter asks for it or the module took another type.
    bool committed = false;
    {
        TransientStatus progress(m_host);
        committed = m_session.reread(!reread);
    }
    m_host.finishStatus(false);
    const TModule& now = *m_modules.at(at.slot, at.subrack);
    if (now.TypeName != type)
        m_host.out(QStringLiteral("Module %1 is now %2; scan the head-end again.")
                       .arg(at.name(), now.TypeName));
    else if (index < now.Params.size())
        m_host.out(QStringLiteral("%1: %2 written; it holds %3.")
                       .arg(label)
                       .arg(raw)
                       .arg(Report::valueText(now, index)));
    if (!committed)
        throw CliFailure{
            StatusModuleErrors,
            QStringLiteral("Module %1 did not confirm the EEPROM commit.").arg(at.name())};
    return StatusDone;
}
