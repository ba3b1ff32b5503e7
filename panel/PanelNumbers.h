#pragma once

#include "module/Module.h"

#include <QLocale>
#include <QString>

// The arithmetic between a numeric parameter's raw values and what the panel shows. A raw
// value r stands for the scaled integer m + r * s (m = Mins[0], s = Step), shown with
// `decimals` digits after the user's decimal separator, i.e. divided by 10^decimals. Scaled
// values are 64-bit so that no module description can overflow them.
namespace PanelNumbers {

// Modules describe 0-3 decimals. A larger count is honoured up to 9 (10^9 still fits 32 bits
// and a double holds every such power exactly); a negative count is taken as 0.
constexpr int MaxDecimals = 9;
int decimalsOf(const TParam& p);
qint64 divisor(int decimals);

// m + raw * s.
qint64 scaled(const TParam& p, qint64 raw);
// Scaled value of the highest raw value, n * s + m - s.
qint64 highest(const TParam& p);

// The user's locale for numbers, without group separators in either direction (a shown
// value must read back as the same number).
QLocale locale();
// A scaled value as the panel shows it: exactly `decimals` digits after the separator.
QString fixedText(qint64 scaledValue, int decimals);
// A bound in a range message: integer text at 0 decimals, else the general format (up to 15
// significant digits, no trailing zeros).
QString boundText(qint64 scaledValue, int decimals);

// Typed text read as a number in the user's locale.
struct Reading {
    enum Outcome { Number, NotANumber, TooLarge } outcome = NotANumber;
    double value = 0;
};
Reading readTyped(const QString& text);

// A typed number taken into a parameter: truncated toward zero after scaling, checked
// against the range of scaled values. `raw` is meaningful only when `inRange` holds; a number
// outside 32 bits is simply out of range.
struct Typed {
    bool inRange = false;
    qint32 raw = 0;
};
Typed fromTyped(double x, const TParam& p);

} // namespace PanelNumbers
