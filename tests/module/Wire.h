#pragma once

#include "module/Module.h"

#include <QByteArray>
#include <QStringList>

// Replies written readably: % STX, $ ETX, | LF, ~ CR, ^ ETB; every other byte as it is.
inline QByteArray wire(QByteArray bytes) {
    for (char& c : bytes) {
        const int k = QByteArray("%$|~^").indexOf(c);
        c = k < 0 ? c : "\x02\x03\x0A\x0D\x17"[k];
    }
    return bytes;
}

// The receive buffer as the link leaves it: 65536 bytes, never cleared, so behind the reply
// lie the bytes of earlier replies, full of delimiters but without an ETX.
inline QByteArray rx(const QByteArray& text) {
    QByteArray buffer = wire(QByteArray("@B@|Old~7|^").repeated(65536 / 11 + 1)).left(65536);
    const QByteArray reply = wire(text);
    return buffer.replace(0, reply.size(), reply);
}

// A parameter record in one line: kind, flags (hex), then the fields that are set.
inline QString describe(const TParam& p) {
    QStringList out{QStringLiteral("k%1 f%2").arg(p.Kind).arg(p.Flags, 0, 16)};
    const auto add = [&out](const char* key, const QString& value) {
        if (!value.isEmpty() && value != QLatin1String("0"))
            out << QLatin1String(key) + value;
    };
    const auto ints = [](const QVector<qint32>& list) {
        QStringList texts;
        for (qint32 n : list)
            texts << QString::number(n);
        return texts.join(u',');
    };
    add("n:", p.Name);
    add("m:", ints(p.Mins));
    add("r:", ints(p.Ranges));
    add("max:", QString::number(p.MaxValue));
    add("s:", QString::number(p.Step));
    add("d:", QString::number(p.Decimals));
    add("segs:", QString::number(p.SegCount));
    add("u:", p.Units);
    add("names:", p.SegNames.join(u','));
    add("items:", p.Items.join(u','));
    add("t:", p.Text);
    return out.join(u' ');
}
