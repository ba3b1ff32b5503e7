#include "module/Parsers.h"
#include "module/ReplyBytes.h"

using namespace Reply;

void ReadToken(const TModule& m, QString& token, int& pos, char delimiter) {
    const int end = find(m, pos, delimiter);
    QByteArray bytes;
    bytes.reserve(end - pos);
    for (int k = pos; k < end; ++k)
        if (m.ParseBuf->at(k) != LF)
            bytes += m.ParseBuf->at(k);
    token = QString::fromLatin1(bytes);
    pos = end + 1;
}

void ParseValues(TModule& m, const QByteArray& buffer) {
    parse(m, buffer, "Values reply", [&m] {
        int p = 0;
        int k = 0;
        int c = 0;
        while (byteAt(m, p) != ETX) {
            if (k >= m.ParamCount || k >= m.Params.size() || m.ChannelCount < 1) {
                addError(m, QStringLiteral("Parameters values count exceeds limit"));
                break;
            }
            QString field;
            ReadToken(m, field, p, LF);
            qint32 value = NoNumber;
            toInteger(field, value);
            if (c >= MaxChannels)
                throw ParseError(QStringLiteral("row %1 at position %2 is past the last channel")
                                     .arg(c + 1)
                                     .arg(p));
            m.Params[k].Values[c] = value;
            if (k == 0 && m.MultiChannel)
                m.selectChannel(value);
            ++k;
            if (byteAt(m, p) == CR) {
                ++c;
                ++p;
                k = 0;
            }
        }
        if (k < m.ParamCount)
            addError(m, QStringLiteral("Missing parameters values"));
    });
}

namespace {
void readDiagBytes(TModule& m, const QByteArray& buffer) {
    parse(m, buffer, "Diagnostic bytes reply", [&m] {
        if (m.DiagBytes.isEmpty())
            sizeDiagBytes(m);
        m.DiagFault = false;
        m.Messages.clear();
        m.Messages << QStringLiteral("Diagnostic Bytes:");
        int p = 0;
        int i = 0;
        while (byteAt(m, p) != ETX) {
            if (i >= m.DiagCount) {
                addError(m, QStringLiteral("Diag. bytes count exceeds limit"));
                break;
            }
            QString field;
            ReadToken(m, field, p, LF);
            if (i >= m.DiagBytes.size())
                m.DiagBytes.resize(i + 1);
            m.DiagBytes[i] = asciiUpper(field);
            m.Messages << QStringLiteral("   #%1  ").arg(i) + HexByteToBin(m.DiagBytes[i]);
            if (m.DiagBytes[i] != QLatin1String("00"))
                m.DiagFault = true;
            ++i;
        }
        if (i < m.DiagCount) {
            // What a missing byte would say is not known: no sign of health either.
            addError(m, QStringLiteral("Missing diagnostic bytes"));
            m.DiagFault = true;
        }
    });
}
} // namespace

void ParseDiagBytes(TModule& m, const QByteArray& buffer) {
    try {
        readDiagBytes(m, buffer);
    } catch (const ParseError&) {
        // A reply that cannot be read tells nothing of the module's health: it must not
        // leave the module shown as clear.
        m.DiagFault = true;
        throw;
    }
}

namespace {

// Reads LF-ended fields up to the ETX, handing each to take.
template <class Take> void readLines(TModule& m, Take&& take) {
    int p = 0;
    while (byteAt(m, p) != ETX) {
        QString field;
        ReadToken(m, field, p, LF);
        take(field);
    }
}

} // namespace

void ParseExtDiag(TModule& m, const QByteArray& buffer) {
    parse(m, buffer, "Extended diagnostic reply", [&m] {
        // The list is emptied first, so it only counts as valid once read to the end.
        m.ExtDiag.clear();
        m.ExtDiagValid = false;
        readLines(m, [&m](const QString& line) { m.ExtDiag << line; });
        m.ExtDiagValid = true;
    });
}

void ParseMessages(TModule& m, const QByteArray& buffer) {
    parse(m, buffer, "Messages reply", [&m] {
        m.Messages << QString();
        readLines(m, [&m](const QString& line) { m.Messages << line; });
    });
}

void ParseLastLine(TModule& m, const QByteArray& buffer, QString& target) {
    parse(m, buffer, "Text reply",
          [&m, &target] { readLines(m, [&target](const QString& line) { target = line; }); });
}

void ParseSerial(TModule& m, const QByteArray& buffer) {
    parse(m, buffer, "Serial number reply", [&m] {
        m.SerialText.clear();
        int p = 0;
        ReadToken(m, m.SerialText, p, ETX);
    });
}

void ExtDiagReport(TModule& m) {
    if (!m.ExtDiagValid)
        return;
    m.Messages << QString() << QStringLiteral("Extended Diagnostic Info:") << QString();
    // Bytes past the end of DiagBytes have no bits set, so they only advance t.
    const int bytes = int(qMin<qsizetype>(qMax(m.DiagCount, 0), m.DiagBytes.size()));
    int t = 0;
    bool found = false;
    for (int i = 0; i < bytes; ++i) {
        const quint8 d = HexByte(m.DiagBytes[i]);
        for (int b = 0; b < 8; ++b, ++t) {
            if (!(d & (1 << b)))
                continue;
            if (t < m.ExtDiag.size())
                m.Messages << m.ExtDiag[t];
            else
                m.Messages << QString::number(m.DiagCount) << QString::number(t);
            found = true;
        }
    }
    // Bytes that could not be read, or are no hexadecimal pair, are no sign of health.
    if (!found && !m.DiagFault)
        m.Messages << QStringLiteral("Diagnostic OK.");
}

namespace {

int nibbleValue(QChar c) {
    if (c >= u'0' && c <= u'9')
        return c.unicode() - u'0';
    if (c >= u'A' && c <= u'F')
        return c.unicode() - u'A' + 10;
    return -1;
}

} // namespace

quint8 HexByte(const QString& text) {
    if (text.isEmpty())
        return 0;
    const int high = text.size() >= 2 ? nibbleValue(text[0]) : -1;
    const int low = text.size() >= 2 ? nibbleValue(text[1]) : -1;
    if (high < 0 || low < 0)
        return 0xFF;
    return quint8(high * 16 + low);
}

void NibbleToBin(QChar c, QString& text) {
    const int value = nibbleValue(c);
    if (value >= 0)
        text = QString::number(value, 2).rightJustified(4, u'0');
}

QString HexByteToBin(const QString& text) {
    QString high;
    QString low;
    if (text.size() >= 1)
        NibbleToBin(text[0], high);
    if (text.size() >= 2)
        NibbleToBin(text[1], low);
    return high + u' ' + low;
}
