#include "sim/SimCodec.h"

namespace SimCodec {

quint16 crc16(const QByteArray& bytes) {
    quint16 crc = 0xFFFF;
    for (char c : bytes) {
        crc ^= static_cast<quint8>(c);
        for (int bit = 0; bit < 8; ++bit) {
            const bool out = crc & 1;
            crc >>= 1;
            if (out)
                crc ^= 0xA001;
        }
    }
    return crc;
}

QByteArray hex4(quint16 value) {
    static const char digits[] = "0123456789ABCDEF";
    QByteArray text(4, '0');
    for (int i = 3; i >= 0; --i) {
        text[i] = digits[value & 0xF];
        value >>= 4;
    }
    return text;
}

bool parseHex4(const QByteArray& text, quint16* value) {
    if (text.size() != 4)
        return false;
    quint16 v = 0;
    for (char c : text) {
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else if (c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else
            return false;
        v = static_cast<quint16>(v << 4 | d);
    }
    *value = v;
    return true;
}

static void putEscaped(QByteArray& out, quint8 b) {
    if (b == EOT || b == ETB || b == ESC) {
        out.append(ESC);
        out.append(static_cast<char>(b ^ 0x7F));
    } else {
        out.append(static_cast<char>(b));
    }
}

QByteArray encode4in5(const QByteArray& data) {
    QByteArray out;
    out.reserve(data.size() * 5 / 4 + 16);
    for (qsizetype i = 0; i < data.size(); i += 4) {
        const qsizetype n = qMin<qsizetype>(4, data.size() - i);
        quint8 group[4] = {0, 0, 0, 0};
        quint8 tops = 0;
        for (qsizetype k = 0; k < n; ++k) {
            const quint8 b = static_cast<quint8>(data[i + k]);
            group[k] = b & 0x7F;
            if (b & 0x80)
                tops |= static_cast<quint8>(0x08 >> k);
        }
        for (quint8 b : group)
            putEscaped(out, b);
        putEscaped(out, static_cast<quint8>(tops | (n & 3) << 4));
    }
    return out;
}

} // namespace SimCodec
