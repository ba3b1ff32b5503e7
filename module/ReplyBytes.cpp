#include "module/ReplyBytes.h"
#include "module/Parsers.h"

#include <algorithm>
#include <limits>

namespace Reply {

int limit(const TModule& m) {
    if (!m.ParseBuf)
        return 0;
    return int(qMin<qsizetype>(MaxBytes, m.ParseBuf->size()));
}

char byteAt(const TModule& m, int pos) {
    if (pos < 0 || pos >= limit(m))
        throw ParseError(QStringLiteral("no ETX found before position %1").arg(pos));
    return m.ParseBuf->at(pos);
}

int find(const TModule& m, int from, char what, bool stopAtEtx) {
    const int end = limit(m);
    for (int k = qMax(from, 0); k < end; ++k) {
        const char c = m.ParseBuf->at(k);
        if (c == what || (c == ETX && stopAtEtx))
            return k;
        if (c == ETX)
            throw ParseError(QStringLiteral("no %1 found after position %2 (the reply ends at %3)")
                                 .arg(byteName(what))
                                 .arg(from)
                                 .arg(k));
    }
    throw ParseError(QStringLiteral("no %1 found after position %2").arg(byteName(what)).arg(from));
}

int count(const TModule& m, int from, int to, char what) {
    int n = 0;
    for (int k = qMax(from, 0); k < qMin(to, limit(m)); ++k)
        n += m.ParseBuf->at(k) == what;
    return n;
}

bool toInteger(const QString& text, qint32& value) {
    int k = 0;
    const bool negative = text.startsWith(u'-');
    if (negative || text.startsWith(u'+'))
        k = 1;
    if (k == text.size())
        return false;
    qint64 n = 0;
    for (; k < text.size(); ++k) {
        const char16_t c = text[k].unicode();
        if (c < u'0' || c > u'9')
            return false;
        n = n * 10 + (c - u'0');
        if (n > qint64(std::numeric_limits<qint32>::max()) + 1)
            return false;
    }
    n = negative ? -n : n;
    if (n > std::numeric_limits<qint32>::max())
        return false;
    value = qint32(n);
    return true;
}

bool toNumber(const QString& text, qint32& value) {
    qint32 n = 0;
    if (!toInteger(text, n) || n == NoNumber)
        return false;
    value = n;
    return true;
}

bool readNumber(const TModule& m, int& pos, qint32& value) {
    QString field;
    ReadToken(m, field, pos, LF);
    return toNumber(field, value);
}

qint32 saturate(qint64 value) {
    return qint32(std::clamp<qint64>(value, std::numeric_limits<qint32>::min(),
                                     std::numeric_limits<qint32>::max()));
}

QString asciiUpper(const QString& text) {
    QString upper = text;
    for (QChar& c : upper)
        if (c >= u'a' && c <= u'z')
            c = QChar(c.unicode() - u'a' + u'A');
    return upper;
}

QString byteName(char c) {
    switch (c) {
    case STX:
        return QStringLiteral("STX");
    case ETX:
        return QStringLiteral("ETX");
    case LF:
        return QStringLiteral("LF");
    case CR:
        return QStringLiteral("CR");
    case ETB:
        return QStringLiteral("ETB");
    default:
        return QStringLiteral("\"%1\"").arg(QChar::fromLatin1(c));
    }
}

void addError(TModule& m, const QString& line) {
    m.Messages << line;
    ++m.ErrorCount;
}

void sizeDiagBytes(TModule& m) {
    if (m.DiagCount >= 0 && m.DiagCount <= MaxBytes)
        m.DiagBytes.resize(m.DiagCount);
}

} // namespace Reply
