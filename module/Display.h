#pragma once

#include "module/Module.h"

#include <QLocale>
#include <QString>
#include <QStringList>

// What a parameter's raw value looks like on the control panel, and how a number typed in
// the panel's spin box becomes a raw value. One implementation for the panel and the
// command-line tool; no widget in here. (Not named Display: widget code sees X11's type of
// that name.)
//
// A numeric raw value r stands for the scaled integer m + r * s (m = Mins[0], s = Step),
// shown with `decimals` digits after the user's decimal separator, i.e. divided by
// 10^decimals. Scaled values are 64-bit so that no module description can overflow them.
namespace ParamDisplay {

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

// The entries of a list parameter (segmented, enumerated, on/off), entry i for raw value i;
// empty for the other kinds. A segment whose first number is 0 shows its name alone.
QStringList listEntries(const TParam& p);

// The value as the panel shows it: the number with its decimals (without units) for the
// numeric kinds, the entry for the lists (empty when raw names none), the text of an
// information parameter, the caption of a terminal button, "ERROR" for an error entry.
QString shownValue(const TParam& p, qint32 raw);
// The same followed by a blank and the units for a numeric parameter that has units.
QString shownWithUnits(const TParam& p, qint32 raw);

// "<Name> must be between <lowest> and <highest> <Units>", as the typed entry reports a
// number outside the parameter's range (it ends with a blank when Units is empty).
QString rangeMessage(const TParam& p);
// "'<text>' is not a valid floating point value".
QString notANumberMessage(const QString& text);

// The typed entry of a numeric parameter: text → raw value, or the message the panel shows.
struct TypedEntry {
    enum Outcome { Accepted, NotANumber, OutOfRange } outcome = NotANumber;
    qint32 raw = 0;  // when Accepted
    QString message; // when not
};
TypedEntry typedToRaw(const TParam& p, const QString& text);

} // namespace ParamDisplay
