#include "module/Protocol.h"

#include <algorithm>
#include <cstring>

namespace Protocol {

quint16 CRC16(const QByteArray& text, int count) {
    const qsizetype n = count < 0 ? text.size() : std::min<qsizetype>(count, text.size());
    quint16 crc = 0xFFFF;
    for (qsizetype i = 0; i < n; ++i) {
        crc ^= quint8(text[i]);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? quint16((crc >> 1) ^ 0xA001) : quint16(crc >> 1);
    }
    return crc;
}

QByteArray crcText(quint16 crc) {
    return QByteArray::number(crc, 16).toUpper().rightJustified(4, '0');
}

const PageHeader* pageHeader(const QByteArray& line) {
    for (const PageHeader& h : PageHeaders)
        if (line.size() == qsizetype(std::strlen(h.line)) && line == h.line)
            return &h;
    return nullptr;
}

} // namespace Protocol
