#pragma once

#include <QByteArray>

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
