#include "link/DiagReport.h"

#include "link/Link.h"
#include "module/ModuleTable.h"
#include "module/Parsers.h"

QStringList DiagReport(Link& link, ModuleTable& modules, int slot, int subrack,
                       const QString& moduleWord) {
    TModule& m = *modules.at(slot, subrack);
    Link::tolerant(m, [&] { link.ReadSerial(slot, subrack); });
    QStringList& header = modules.diagLines(slot, subrack);
    header.clear();
    header << moduleWord + QStringLiteral(" #") + QString::number(slot + 1) + QStringLiteral("  ") +
                  m.TypeName + QStringLiteral("  Vers. ") + m.VersionText
           << QStringLiteral("SN ") + m.SerialText << QString(21, QLatin1Char('='));
    link.ReplyTimeout = Link::ReadTimeout;
    // A reply that cannot be read spoils its own lines, not the report.
    Link::tolerant(m, [&] { link.ReadDiagBytes(slot, subrack); });
    // Once more over what the buffer holds, answered or not: the bytes and lines start afresh.
    Link::tolerant(m, [&] { ParseDiagBytes(m, link.RxBuffer); });
    if (!m.ExtDiagValid)
        Link::tolerant(m, [&] { link.ReadExtDiag(slot, subrack); });
    ExtDiagReport(m);
    // What the scan could not read comes first: the lines below may look healthy without it.
    QStringList lines = header + m.ReadFaults + m.Messages;
    m.Messages.clear();
    Link::tolerant(m, [&] { link.ReadMessages(slot, subrack); });
    lines += m.Messages;
    return lines;
}
