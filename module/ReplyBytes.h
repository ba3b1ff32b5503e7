#pragma once

#include "module/Errors.h"
#include "module/Module.h"
#include "module/Protocol.h"

#include <QByteArray>
#include <QScopeGuard>
#include <QString>

// The reading rules that every reply parser shares: which bytes may be looked at, how a
// search ends, what counts as a number. The parsers read the module's ParseBuf.
namespace Reply {

// A reply must fit in the first 2048 bytes of the receive buffer; nothing after them (and
// nothing after the end of a shorter buffer) is ever read.
constexpr int MaxBytes = 2048;

using namespace Ascii;

// Modules send 9999 where they have no number, so a field reading 9999 counts as unreadable.
constexpr qint32 NoNumber = 9999;

// Number of bytes of ParseBuf that may be read (0 without a buffer).
int limit(const TModule& m);
// The byte at pos; a position past the readable bytes means the reply has no ETX in them.
char byteAt(const TModule& m, int pos);
// Index of the first `what` at or after from. The reply ends at its first ETX: the bytes
// after it are left over from earlier replies, so a search for anything else fails there,
// unless stopAtEtx is set, in which case the index of that ETX is returned.
int find(const TModule& m, int from, char what, bool stopAtEtx = false);
// Number of `what` bytes in [from, to).
int count(const TModule& m, int from, int to, char what);

// Strict conversion: an optional sign and decimal digits only, within 32 bits.
bool toInteger(const QString& text, qint32& value);
// toInteger, with 9999 taken as "no number".
bool toNumber(const QString& text, qint32& value);
// Reads a field ending in LF; sets value only when the field holds a number.
bool readNumber(const TModule& m, int& pos, qint32& value);

// Limits and sums of limits come from the module; they saturate instead of overflowing.
qint32 saturate(qint64 value);
// Upper case of the ASCII letters only, so every other byte keeps its code.
QString asciiUpper(const QString& text);
// "LF", "CR", … or the character itself, for error texts.
QString byteName(char c);

// Adds a failure line to the record and counts it.
void addError(TModule& m, const QString& line);
// DiagBytes gets DiagCount entries, unless no reply could carry that many.
void sizeDiagBytes(TModule& m);

// Runs body with ParseBuf pointing at buffer (and cleared afterwards, so the record never
// refers to a buffer that may be gone); a parse error gets `what` in front of its text.
template <class Body>
void parse(TModule& m, const QByteArray& buffer, const char* what, Body&& body) {
    m.ParseBuf = &buffer;
    const auto clear = qScopeGuard([&m] { m.ParseBuf = nullptr; });
    try {
        body();
    } catch (const ParseError& e) {
        throw ParseError(QLatin1String(what) + QLatin1String(": ") + e.text());
    }
}

} // namespace Reply
