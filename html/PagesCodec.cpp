#include "html/PagesCodec.h"

#include "module/Protocol.h"

#include <QList>

namespace PagesCodec {

namespace {
// A decimal integer and nothing else (no blanks, no CR): -1 otherwise.
int strictInt(const QByteArray& text) {
    bool ok = false;
    const QByteArray t = text.startsWith('+') ? text.mid(1) : text;
    if (t.isEmpty() || t.trimmed() != t)
        return -1;
    const int v = t.toInt(&ok, 10);
    return ok ? v : -1;
}
} // namespace

Header headerOf(const QByteArray& line) {
    const Protocol::PageHeader* h =
        line.endsWith('\n') ? Protocol::pageHeader(line.chopped(1)) : nullptr;
    return h ? Header{h->kind, h->encoded} : Header{};
}

const char* kindName(ReplyKind kind) {
    static const char* const names[] = {"NONE", "HTML",  "CSS", "JS",  "GIF", "JPG",
                                        "BMP",  "OTHER", "CMD", "ACK", "NAK"};
    return names[int(kind)];
}

QByteArray Decode4in5(const QByteArray& encoded) {
    QByteArray out;
    out.reserve(encoded.size() * 4 / 5 + 4);
    unsigned char group[4] = {};
    int c = 1;
    for (qsizetype i = 0; i < encoded.size(); ++i) {
        auto b = static_cast<unsigned char>(encoded.at(i));
        if (b == static_cast<unsigned char>(ESC)) {
            if (++i >= encoded.size())
                break; // an escape with nothing after it ends the content
            b = static_cast<unsigned char>(encoded.at(i)) ^ 0x7F;
        }
        const int pos = c % 5;
        if (pos != 0) {
            group[pos - 1] = b;
        } else {
            for (int k = 0; k < 4; ++k)
                if (b & (0x08 >> k))
                    group[k] |= 0x80;
            const int n = ((b >> 4) & 3) == 0 ? 4 : (b >> 4) & 3;
            out.append(reinterpret_cast<const char*>(group), n);
        }
        ++c;
    }
    return out;
}

QByteArray rewriteLocalLink(const QByteArray& page, quint16 port) {
    const QByteArray prefix(LocalLinkPrefix);
    const qsizetype at = page.indexOf(prefix);
    if (at < 0)
        return page;
    QByteArray out = page;
    out.insert(at + prefix.size() - 1, ':' + QByteArray::number(port));
    return out + "\r\n";
}

QByteArray documentText(const QByteArray& path, const QByteArray& query) {
    qsizetype start = 0;
    while (start < path.size() && path.at(start) == '/')
        ++start;
    QByteArray text = path.mid(start);
    if (!query.isEmpty())
        text += '?' + query;
    return text;
}

QByteArray request(const Protocol::Command& command, const QByteArray& text) {
    return QByteArray("!") + command.code + text + CR;
}

QByteArray documentRequest(const QByteArray& text) {
    return request(Protocol::PagesDocument, text);
}

QByteArray requestChecksumLine(const QByteArray& text) {
    return request(Protocol::PagesRequestChecksum, Protocol::crcText(Protocol::CRC16(text)));
}

SizeResult parseWindowSize(const QByteArray& reply, int* width, int* height, int maxWidth,
                           int maxHeight) {
    if (reply.isEmpty())
        return SizeResult::NoResponse;
    QList<QByteArray> lines = reply.split(LF);
    if (lines.last().isEmpty())
        lines.removeLast(); // the LF ended the last line; no line follows it
    if (lines.size() < 2)
        return SizeResult::InvalidResponse;
    *width = strictInt(lines.at(0));
    *height = strictInt(lines.at(1));
    const bool fits = *width > 0 && *width <= maxWidth && *height > 0 && *height <= maxHeight;
    return fits ? SizeResult::Ok : SizeResult::InvalidData;
}

} // namespace PagesCodec
