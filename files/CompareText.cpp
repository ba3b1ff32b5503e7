// The differences as the user reads them: lines for the command line and the load's message,
// rows for the comparison window.
#include "files/Compare.h"

#include "module/Display.h"
#include "module/ModuleAddress.h"

namespace Compare {

namespace {

constexpr int kListedLines = 8; // image line numbers named in a text

QString where(const ModuleDiff& d) {
    return ModuleAddress{d.subrack, d.slot}.name();
}

QString lineCount(int n) {
    if (n == 0)
        return QStringLiteral("none");
    return n == 1 ? QStringLiteral("1 line") : QStringLiteral("%1 lines").arg(n);
}

QString lineNumbers(const QList<int>& numbers) {
    QStringList shown;
    for (int i = 0; i < qMin<qsizetype>(numbers.size(), kListedLines); ++i)
        shown << QString::number(numbers[i]);
    QString text = shown.join(QStringLiteral(", "));
    if (numbers.size() > kListedLines)
        text += QStringLiteral(" and %1 more").arg(numbers.size() - kListedLines);
    return text;
}

// A difference as a row of the window and as a line of text.
struct Item {
    Row row;
    QString line;
};

void imageItem(const ModuleDiff& d, const Sides& s, QList<Item>& out) {
    const QString lines = lineNumbers(d.differingLines);
    QString line = QStringLiteral("Module %1 image: %2 %3, %4 %5")
                       .arg(where(d), s.a, lineCount(d.linesA), s.b, lineCount(d.linesB));
    if (!lines.isEmpty())
        line += (d.differingLines.size() == 1 ? QStringLiteral("; line %1 differs")
                                              : QStringLiteral("; lines %1 differ"))
                    .arg(lines);
    const QString what =
        lines.isEmpty() ? QStringLiteral("image") : QStringLiteral("image lines %1").arg(lines);
    out << Item{
        {where(d) + QLatin1Char(' ') + d.typeB, what, lineCount(d.linesA), lineCount(d.linesB)},
        line};
}

void moduleItems(const ModuleDiff& d, const Sides& s, QList<Item>& out) {
    const QString at = where(d);
    const QString moduleA = d.typeA + QLatin1Char(' ') + d.versionA;
    const QString moduleB = d.typeB + QLatin1Char(' ') + d.versionB;
    switch (d.outcome) {
    case ModuleDiff::Same:
    case ModuleDiff::NotRead:
        return;
    case ModuleDiff::OnlyA:
        out << Item{{at + QLatin1Char(' ') + d.typeA, QStringLiteral("module"), moduleA, s.onlyA},
                    QStringLiteral("Module %1 (%2): %3").arg(at, moduleA, s.onlyA)};
        return;
    case ModuleDiff::OnlyB:
        out << Item{{at + QLatin1Char(' ') + d.typeB, QStringLiteral("module"), s.onlyB, moduleB},
                    QStringLiteral("Module %1 (%2): %3").arg(at, moduleB, s.onlyB)};
        return;
    case ModuleDiff::OtherType:
        out << Item{{at, QStringLiteral("type"), d.typeA, d.typeB},
                    QStringLiteral("Module %1: another type: %2 %3, %4 %5")
                        .arg(at, s.a, d.typeA, s.b, d.typeB)};
        return;
    case ModuleDiff::OtherVersion:
        out << Item{
            {at + QLatin1Char(' ') + d.typeB, QStringLiteral("version"), d.versionA, d.versionB},
            QStringLiteral("Module %1 (%2): another version: %3 %4, %5 %6")
                .arg(at, d.typeB, s.a, d.versionA, s.b, d.versionB)};
        return;
    case ModuleDiff::Values:
        for (const ParamDiff& p : d.params) {
            const QString a = valueText(d, p.index, p.a);
            const QString b = valueText(d, p.index, p.b);
            out << Item{{at + QLatin1Char(' ') + d.typeB, paramText(d, p), a, b},
                        QStringLiteral("Module %1 %2: %3 %4, %5 %6")
                            .arg(at, paramText(d, p), s.a, a, s.holds, b)};
        }
        return;
    case ModuleDiff::Image:
        imageItem(d, s, out);
        return;
    }
}

QList<Item> items(const Result& r, const Sides& s) {
    QList<Item> out;
    for (const ModuleDiff& d : r.modules)
        moduleItems(d, s, out);
    return out;
}

} // namespace

Sides Sides::files(const QString& a, const QString& b) {
    return {a, b, b, QStringLiteral("not in ") + b, QStringLiteral("not in ") + a};
}

QString paramText(const ModuleDiff& d, const ParamDiff& p) {
    QString text = QStringLiteral("parameter %1").arg(p.index);
    if (d.multiChannel)
        text = QStringLiteral("channel %1 ").arg(p.channel + 1) + text; // as modules count
    if (d.description && p.index < d.description->Params.size())
        text += QStringLiteral(" (%1)").arg(d.description->Params.at(p.index).Name);
    return text;
}

QString valueText(const ModuleDiff& d, int index, std::optional<qint32> raw) {
    if (!raw)
        return QStringLiteral("-");
    if (d.description && index >= 0 && index < d.description->Params.size()) {
        const QString shown = ParamDisplay::shownWithUnits(d.description->Params.at(index), *raw);
        if (!shown.isEmpty())
            return shown;
    }
    return QString::number(*raw);
}

QStringList lines(const Result& r, const Sides& sides) {
    QStringList out;
    for (const Item& item : items(r, sides))
        out << item.line;
    return out;
}

QList<Row> rows(const Result& r, const Sides& sides) {
    QList<Row> out;
    for (const Item& item : items(r, sides))
        out << item.row;
    return out;
}

} // namespace Compare
