#pragma once

#include <QByteArray>

// Replies written readably: % STX, $ ETX, | LF, ~ CR, ^ ETB; every other byte as it is.
inline QByteArray wire(const QByteArray& text) {
    QByteArray bytes = text;
    for (char& c : bytes) {
        switch (c) {
        case '%':
            c = 0x02;
            break;
        case '$':
            c = 0x03;
            break;
        case '|':
            c = 0x0A;
            break;
        case '~':
            c = 0x0D;
            break;
        case '^':
            c = 0x17;
            break;
        default:
            break;
        }
    }
    return bytes;
}

// The receive buffer as the link leaves it: 65536 bytes, never cleared, so behind the reply
// lie the bytes of earlier replies, full of delimiters but without an ETX.
inline QByteArray rx(const QByteArray& text) {
    QByteArray buffer = wire(QByteArray("@B@|Old~7|^").repeated(65536 / 11 + 1)).left(65536);
    const QByteArray reply = wire(text);
    buffer.replace(0, reply.size(), reply);
    return buffer;
}
