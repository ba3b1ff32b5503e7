#include "files/FileFormat.h"

#include "module/Module.h"
#include "module/ParamAccess.h"

#include <limits>

namespace FileFormat {

QList<QByteArray> splitLines(const QByteArray& content) {
    const qsizetype end = content.indexOf(CtrlZ);
    const QByteArray text = end < 0 ? content : content.left(end);
    QList<QByteArray> lines;
    qsizetype start = 0;
    while (start < text.size()) {
        const qsizetype cr = text.indexOf('\r', start);
        if (cr < 0) {
            lines << text.mid(start);
            break;
        }
        lines << text.mid(start, cr - start);
        start = cr + 1;
        if (start < text.size() && text[start] == '\n')
            ++start;
    }
    return lines;
}

int NextField(int pos, char sep, const QByteArray& line, QByteArray& field) {
    field.clear();
    if (pos < 1)
        return -1;
    const qsizetype length = line.size();
    const qsizetype found = line.indexOf(sep, pos - 1); // 0-based
    field = line.mid(pos - 1, found < 0 ? -1 : found - (pos - 1));
    const qsizetype next = found < 0 ? length + 2 : found + 2; // 1-based, after the separator
    return next <= length ? int(next) : -1;
}

std::optional<qint32> toInteger(const QByteArray& field) {
    qsizetype i = 0;
    if (!field.isEmpty() && (field[0] == '-' || field[0] == '+'))
        ++i;
    if (i == field.size())
        return std::nullopt;
    qint64 value = 0;
    for (; i < field.size(); ++i) {
        const char c = field[i];
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
        if (value > qint64(std::numeric_limits<qint32>::max()) + 1)
            return std::nullopt;
    }
    if (field[0] == '-')
        value = -value;
    if (value > std::numeric_limits<qint32>::max())
        return std::nullopt;
    return qint32(value);
}

std::optional<std::array<qint32, 3>> headerFields(const QByteArray& line) {
    std::array<qint32, 3> out{};
    QByteArray field;
    int pos = 1;
    for (qint32& v : out) {
        pos = NextField(pos, ' ', line, field);
        const std::optional<qint32> n = toInteger(field);
        if (!n)
            return std::nullopt;
        v = *n;
    }
    return out;
}

std::optional<QVector<qint32>> valueFields(const QByteArray& line) {
    QVector<qint32> out;
    QByteArray field;
    int pos = 1;
    do {
        pos = NextField(pos, ' ', line, field);
        const std::optional<qint32> n = toInteger(field);
        if (!n)
            return std::nullopt;
        out << *n;
    } while (pos > 0);
    return out;
}

QByteArray headerLine(int subrack, int slot, qint32 channels) {
    return QByteArray::number(subrack) + ' ' + QByteArray::number(slot) + ' ' +
           QByteArray::number(channels);
}

QByteArray valueLine(const TModule& m, int k) {
    QByteArray line;
    TParam param;
    for (int i = 0; i < m.ParamCount; ++i) {
        GetParam(m, i, param);
        line += QByteArray::number(param.Values[k]) + ' ';
    }
    if (m.ChannelCount > 1 && !line.isEmpty())
        line[0] = char(48 + k);
    return line;
}

QByteArray textLine(const QString& text) {
    QByteArray bytes = text.toLatin1();
    for (const char end : {'\r', CtrlZ}) {
        const qsizetype at = bytes.indexOf(end);
        if (at >= 0)
            bytes.truncate(at);
    }
    return bytes;
}

std::optional<QByteArray> storedLine(const QString& text) {
    const QByteArray line = textLine(text);
    if (line.isEmpty() || line.startsWith(CommentMark) || line.size() != text.size())
        return std::nullopt;
    return line;
}

} // namespace FileFormat
