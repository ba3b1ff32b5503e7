#include "module/Display.h"

#include <cmath>
#include <limits>

namespace ParamDisplay {

namespace {
// A segmented list longer than this is a broken description: its entries stop here rather
// than exhaust the memory.
constexpr qint64 kMaxListEntries = 65536;

// x * 10^decimals, multiplied in decimal: the shortest text that reads back as x gets its
// exponent raised, and only that text is converted. 0.29 at two decimals thus gives 29 and
// not 28.999..., which truncation would turn into 28.
double scaleDecimal(double x, int decimals) {
    const QString e = QString::number(x, 'e', QLocale::FloatingPointShortest);
    const qsizetype at = e.indexOf(QLatin1Char('e'));
    if (at < 0)
        return x * double(divisor(decimals));
    const int exponent = e.mid(at + 1).toInt() + decimals;
    return (e.left(at) + QLatin1Char('e') + QString::number(exponent)).toDouble();
}

QStringList segmentEntries(const TParam& p) {
    QStringList entries;
    for (int k = 0; k < p.SegCount; ++k) {
        const qint64 first = p.Mins.value(k);
        for (qint64 j = 0; j < p.Ranges.value(k); ++j) {
            if (entries.size() >= kMaxListEntries)
                return entries;
            entries << (first != 0 ? p.SegNames.value(k) + QString::number(first + j)
                                   : p.SegNames.value(k));
        }
    }
    return entries;
}
} // namespace

int decimalsOf(const TParam& p) {
    return qBound(0, p.Decimals, MaxDecimals);
}

qint64 divisor(int decimals) {
    qint64 d = 1;
    for (int i = 0; i < qBound(0, decimals, MaxDecimals); ++i)
        d *= 10;
    return d;
}

qint64 scaled(const TParam& p, qint64 raw) {
    return qint64(p.Mins.value(0)) + raw * qint64(p.Step);
}

qint64 highest(const TParam& p) {
    return scaled(p, qint64(p.Ranges.value(0)) - 1);
}

QLocale locale() {
    QLocale l;
    l.setNumberOptions(l.numberOptions() | QLocale::OmitGroupSeparator |
                       QLocale::RejectGroupSeparator);
    return l;
}

QString fixedText(qint64 scaledValue, int decimals) {
    const int d = qBound(0, decimals, MaxDecimals);
    // Integer digits, so that no value is rounded on its way to the screen.
    const quint64 magnitude = scaledValue < 0 ? 0 - quint64(scaledValue) : quint64(scaledValue);
    QString text = QString::number(magnitude);
    if (d > 0) {
        text = text.rightJustified(d + 1, QLatin1Char('0'));
        text.insert(text.size() - d, locale().decimalPoint());
    }
    return scaledValue < 0 ? QLatin1Char('-') + text : text;
}

QString boundText(qint64 scaledValue, int decimals) {
    if (decimals <= 0)
        return QString::number(scaledValue);
    return locale().toString(double(scaledValue) / double(divisor(decimals)), 'g', 15);
}

Reading readTyped(const QString& text) {
    bool ok = false;
    const double v = locale().toDouble(text, &ok);
    if (std::isinf(v))
        return {Reading::TooLarge, v};
    if (!ok || std::isnan(v))
        return {Reading::NotANumber, 0};
    return {Reading::Number, v};
}

Typed fromTyped(double x, const TParam& p) {
    const int d = decimalsOf(p);
    const qint64 m = scaled(p, 0);
    const qint64 max = highest(p);
    // Whole numbers compare after truncation; decimal ones before it.
    const double y = d == 0 ? std::trunc(x) : scaleDecimal(x, d);
    if (!(y >= double(m) && y <= double(max)))
        return {};
    const qint64 t = qint64(std::trunc(y));
    const qint64 s = p.Step;
    const qint64 raw = s != 0 ? (t - m) / s : 0;
    // A description with a negative step or no values has no sound raw value to offer.
    if (raw < 0 || raw >= qint64(p.Ranges.value(0)) || raw > std::numeric_limits<qint32>::max())
        return {};
    return {true, qint32(raw)};
}

QStringList listEntries(const TParam& p) {
    switch (p.Kind) {
    case KindSegmented:
        return segmentEntries(p);
    case KindEnum:
        return p.Items;
    case KindOnOff:
        return {QStringLiteral("On"), QStringLiteral("Off")};
    default:
        return {};
    }
}

QString shownValue(const TParam& p, qint32 raw) {
    switch (p.Kind) {
    case KindNumeric:
    case KindNumericRO:
        return fixedText(scaled(p, raw), decimalsOf(p));
    case KindSegmented:
    case KindEnum:
    case KindOnOff:
        return listEntries(p).value(raw);
    case KindInfo:
        return p.Text;
    case KindTerminal:
        return p.Name;
    default:
        return QStringLiteral("ERROR");
    }
}

QString shownWithUnits(const TParam& p, qint32 raw) {
    const QString shown = shownValue(p, raw);
    const bool numeric = p.Kind == KindNumeric || p.Kind == KindNumericRO;
    return numeric && !p.Units.isEmpty() ? shown + QLatin1Char(' ') + p.Units : shown;
}

QString rangeMessage(const TParam& p) {
    const int d = decimalsOf(p);
    return p.Name + QStringLiteral(" must be between ") + boundText(scaled(p, 0), d) +
           QStringLiteral(" and ") + boundText(highest(p), d) + QLatin1Char(' ') + p.Units;
}

QString notANumberMessage(const QString& text) {
    return QStringLiteral("'%1' is not a valid floating point value").arg(text);
}

TypedEntry typedToRaw(const TParam& p, const QString& text) {
    const Reading reading = readTyped(text);
    if (reading.outcome == Reading::NotANumber)
        return {TypedEntry::NotANumber, 0, notANumberMessage(text)};
    const Typed typed = reading.outcome == Reading::Number ? fromTyped(reading.value, p) : Typed{};
    if (!typed.inRange)
        return {TypedEntry::OutOfRange, 0, rangeMessage(p)};
    return {TypedEntry::Accepted, typed.raw, QString()};
}

} // namespace ParamDisplay
