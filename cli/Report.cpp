#include "cli/Report.h"

#include "module/Display.h"
#include "module/ModuleTable.h"

#include <QJsonArray>

namespace Report {

namespace {
constexpr int kSubracks = 2;
constexpr int kSlots = 16;

QJsonArray strings(const QStringList& list) {
    return QJsonArray::fromStringList(list);
}

bool present(const TModule* m) {
    return m && m->TypeName != NotInstalledText;
}

QString limitsText(const TParam& p) {
    switch (p.Kind) {
    case KindNumeric:
    case KindNumericRO: {
        const int d = ParamDisplay::decimalsOf(p);
        return QStringLiteral("0..%1 (%2..%3)")
            .arg(p.MaxValue)
            .arg(ParamDisplay::fixedText(ParamDisplay::scaled(p, 0), d),
                 ParamDisplay::fixedText(ParamDisplay::highest(p), d));
    }
    case KindSegmented:
    case KindEnum:
    case KindOnOff:
        return QStringLiteral("0..%1").arg(p.MaxValue);
    default:
        return QStringLiteral("-");
    }
}

QString flagsText(quint8 flags) {
    return QStringLiteral("0x") + QString::number(flags, 16).rightJustified(2, '0').toUpper();
}

QJsonObject addressJson(const ModuleAddress& at) {
    return {{QStringLiteral("module"), at.name()},
            {QStringLiteral("subrack"), at.subrack + 1},
            {QStringLiteral("slot"), at.slot + 1}};
}

QJsonObject recordJson(const TModule& m, const ModuleAddress& at) {
    QJsonObject o = addressJson(at);
    o[QStringLiteral("present")] = true;
    o[QStringLiteral("type")] = m.TypeName;
    o[QStringLiteral("version")] = m.VersionText;
    o[QStringLiteral("kind")] = infoKindLetter(m.InfoKind);
    o[QStringLiteral("diagnostic")] = diagState(m);
    o[QStringLiteral("diagBytes")] = strings(m.DiagBytes);
    o[QStringLiteral("errorCount")] = m.ErrorCount;
    o[QStringLiteral("messages")] = strings(m.Messages);
    o[QStringLiteral("htmlPages")] = m.hasHtmlPages();
    return o;
}
} // namespace

QStringList aligned(const QList<QStringList>& rows) {
    QList<int> widths;
    for (const QStringList& row : rows)
        for (int c = 0; c < row.size(); ++c) {
            if (widths.size() <= c)
                widths << 0;
            widths[c] = qMax(widths[c], int(row[c].size()));
        }
    QStringList lines;
    for (const QStringList& row : rows) {
        QString line;
        for (int c = 0; c < row.size(); ++c)
            line += c + 1 < row.size() ? row[c].leftJustified(widths[c] + 2) : row[c];
        while (line.endsWith(QLatin1Char(' ')))
            line.chop(1);
        lines << line;
    }
    return lines;
}

QString infoKindLetter(quint8 infoKind) {
    static const QStringList letters = {QStringLiteral("P"), QStringLiteral("T"),
                                        QStringLiteral("U")};
    return letters.value(infoKind, QString::number(infoKind));
}

QString paramKindName(quint8 kind) {
    static const QStringList names = {
        QStringLiteral("number"),    QStringLiteral("number (read-only)"),
        QStringLiteral("segmented"), QStringLiteral("list"),
        QStringLiteral("on/off"),    QStringLiteral("info"),
        QStringLiteral("terminal"),  QStringLiteral("error")};
    return names.value(kind, QString::number(kind));
}

QString diagState(const TModule& m) {
    return m.healthy() ? QStringLiteral("OK") : QStringLiteral("FAULT");
}

bool hasTrouble(const TModule& m) {
    return !m.healthy() || m.ErrorCount > 0;
}

QStringList scanLines(const ModuleTable& modules) {
    QList<QStringList> rows;
    for (int g = 0; g < kSubracks; ++g)
        for (int s = 0; s < kSlots; ++s) {
            const ModuleAddress at{g, s};
            const TModule* m = modules.at(s, g);
            if (!present(m)) {
                rows << QStringList{at.name(), QStringLiteral("-")};
                continue;
            }
            QString state = diagState(*m) + QLatin1Char(' ') + m->DiagBytes.join(' ');
            if (m->ErrorCount > 0)
                state += QStringLiteral(", %1 errors").arg(m->ErrorCount);
            rows << QStringList{at.name(), m->TypeName, m->VersionText, state.trimmed()};
        }
    return aligned(rows);
}

QJsonObject scanJson(const ModuleTable& modules, const QString& status) {
    QJsonArray entries;
    int found = 0;
    for (int g = 0; g < kSubracks; ++g)
        for (int s = 0; s < kSlots; ++s) {
            const ModuleAddress at{g, s};
            const TModule* m = modules.at(s, g);
            if (present(m)) {
                ++found;
                entries << recordJson(*m, at);
            } else {
                QJsonObject o = addressJson(at);
                o[QStringLiteral("present")] = false;
                entries << o;
            }
        }
    return {{QStringLiteral("status"), status},
            {QStringLiteral("found"), found},
            {QStringLiteral("slots"), entries}};
}

QString valueText(const TModule& m, int index) {
    const TParam& p = m.Params.at(index);
    const qint32 raw = p.Values[m.CurChannel];
    return QStringLiteral("%1 (%2)").arg(raw).arg(ParamDisplay::shownWithUnits(p, raw));
}

QStringList showLines(const TModule& m, const ModuleAddress& at) {
    QList<QStringList> head = {
        {QStringLiteral("Module"), at.name()},
        {QStringLiteral("Type"), m.TypeName},
        {QStringLiteral("Version"), m.VersionText},
        {QStringLiteral("Kind"), infoKindLetter(m.InfoKind)},
        {QStringLiteral("Channels"),
         QStringLiteral("%1 (current %2)").arg(m.ChannelCount).arg(m.CurChannel)},
        {QStringLiteral("Diagnostic"), (diagState(m) + ' ' + m.DiagBytes.join(' ')).trimmed()},
        {QStringLiteral("HTML pages"), m.hasHtmlPages() ? QStringLiteral("yes") : "no"},
        {QStringLiteral("ErrorCount"), QString::number(m.ErrorCount)}};
    for (int i = 0; i < m.Messages.size(); ++i)
        head << QStringList{i == 0 ? QStringLiteral("Messages") : QString(), m.Messages[i]};
    QStringList lines = aligned(head);
    lines << QString();
    QList<QStringList> rows = {{QStringLiteral("#"), QStringLiteral("Kind"),
                                QStringLiteral("Flags"), QStringLiteral("Name"),
                                QStringLiteral("Limits"), QStringLiteral("Units"),
                                QStringLiteral("Raw"), QStringLiteral("Shown")}};
    const int count = int(qMin<qsizetype>(qMax(0, m.ParamCount), m.Params.size()));
    for (int i = 0; i < count; ++i) {
        const TParam& p = m.Params[i];
        const qint32 raw = p.Values[m.CurChannel];
        rows << QStringList{QString::number(i),   paramKindName(p.Kind),
                            flagsText(p.Flags),   p.Name,
                            limitsText(p),        p.Units.isEmpty() ? QStringLiteral("-") : p.Units,
                            QString::number(raw), ParamDisplay::shownValue(p, raw)};
    }
    return lines + aligned(rows);
}

QJsonObject paramJson(const TModule& m, int index) {
    const TParam& p = m.Params.at(index);
    const qint32 raw = p.Values[m.CurChannel];
    QJsonObject o{{QStringLiteral("index"), index},
                  {QStringLiteral("kind"), p.Kind},
                  {QStringLiteral("kindName"), paramKindName(p.Kind)},
                  {QStringLiteral("flags"), p.Flags},
                  {QStringLiteral("hidden"), bool(p.Flags & FlagHidden)},
                  {QStringLiteral("readOnly"), bool(p.Flags & FlagReadOnly)},
                  {QStringLiteral("typable"), bool(p.Flags & FlagTypable)},
                  {QStringLiteral("reload"), bool(p.Flags & FlagReload)},
                  {QStringLiteral("name"), p.Name},
                  {QStringLiteral("units"), p.Units},
                  {QStringLiteral("min"), 0},
                  {QStringLiteral("max"), p.MaxValue},
                  {QStringLiteral("raw"), raw},
                  {QStringLiteral("shown"), ParamDisplay::shownValue(p, raw)}};
    if (p.Kind == KindNumeric || p.Kind == KindNumericRO) {
        const int d = ParamDisplay::decimalsOf(p);
        o[QStringLiteral("decimals")] = d;
        o[QStringLiteral("shownMin")] = ParamDisplay::fixedText(ParamDisplay::scaled(p, 0), d);
        o[QStringLiteral("shownMax")] = ParamDisplay::fixedText(ParamDisplay::highest(p), d);
    }
    const QStringList entries = ParamDisplay::listEntries(p);
    if (!entries.isEmpty())
        o[QStringLiteral("entries")] = strings(entries);
    if (p.Kind == KindInfo)
        o[QStringLiteral("text")] = p.Text;
    if (m.MultiChannel) {
        QJsonArray values;
        for (int c = 0; c < qBound(0, m.ChannelCount, MaxChannels); ++c)
            values << p.Values[c];
        o[QStringLiteral("values")] = values;
    }
    return o;
}

QJsonObject showJson(const TModule& m, const ModuleAddress& at) {
    QJsonObject o = recordJson(m, at);
    o[QStringLiteral("channels")] = m.ChannelCount;
    o[QStringLiteral("currentChannel")] = m.CurChannel;
    QJsonArray params;
    const int count = int(qMin<qsizetype>(qMax(0, m.ParamCount), m.Params.size()));
    for (int i = 0; i < count; ++i)
        params << paramJson(m, i);
    o[QStringLiteral("params")] = params;
    return o;
}

QJsonObject diagJson(const TModule& m, const ModuleAddress& at, const QStringList& lines) {
    QJsonObject o = addressJson(at);
    o[QStringLiteral("type")] = m.TypeName;
    o[QStringLiteral("version")] = m.VersionText;
    o[QStringLiteral("serial")] = m.SerialText;
    o[QStringLiteral("diagnostic")] = diagState(m);
    o[QStringLiteral("diagBytes")] = strings(m.DiagBytes);
    o[QStringLiteral("errorCount")] = m.ErrorCount;
    o[QStringLiteral("lines")] = strings(lines);
    return o;
}

} // namespace Report
