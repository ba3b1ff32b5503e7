#include "link/JsonRpc.h"

#include <QJsonDocument>

namespace JsonRpc {
namespace {
QByteArray line(QJsonObject object) {
    object.insert(QStringLiteral("jsonrpc"), QStringLiteral("2.0"));
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

std::optional<Error> readAnswer(const QJsonObject& o, Message* out) {
    const QJsonValue error = o.value(QStringLiteral("error"));
    if (error.isObject()) {
        const QJsonObject e = error.toObject();
        out->error = Error{e.value(QStringLiteral("code")).toInt(),
                           e.value(QStringLiteral("message")).toString()};
        return std::nullopt;
    }
    if (!o.value(QStringLiteral("result")).isObject())
        return Error{InvalidRequest, QStringLiteral("an answer without a result object")};
    out->result = o.value(QStringLiteral("result")).toObject();
    return std::nullopt;
}
} // namespace

std::optional<Error> read(const QByteArray& text, Message* out) {
    QJsonParseError parse;
    const QJsonDocument doc = QJsonDocument::fromJson(text, &parse);
    if (parse.error != QJsonParseError::NoError)
        return Error{
            ParseError,
            QStringLiteral("not JSON: %1 at byte %2").arg(parse.errorString()).arg(parse.offset)};
    if (!doc.isObject())
        return Error{InvalidRequest, QStringLiteral("not a JSON object")};
    const QJsonObject o = doc.object();
    const QJsonValue id = o.value(QStringLiteral("id"));
    if (id.isString() || id.isDouble() || id.isNull())
        out->id = id;
    if (o.value(QStringLiteral("jsonrpc")) != QLatin1String("2.0"))
        return Error{InvalidRequest, QStringLiteral("\"jsonrpc\" must be \"2.0\"")};
    if (!o.contains(QStringLiteral("method")))
        return readAnswer(o, out);
    const QJsonValue method = o.value(QStringLiteral("method"));
    const QJsonValue params = o.value(QStringLiteral("params"));
    if (!method.isString() || method.toString().isEmpty())
        return Error{InvalidRequest, QStringLiteral("\"method\" must be a name")};
    if (!params.isUndefined() && !params.isObject())
        return Error{InvalidParams, QStringLiteral("\"params\" must be an object")};
    out->method = method.toString();
    out->params = params.toObject();
    return std::nullopt;
}

QByteArray request(int id, const QString& method, const QJsonObject& params) {
    return line({{QStringLiteral("id"), id},
                 {QStringLiteral("method"), method},
                 {QStringLiteral("params"), params}});
}

QByteArray notification(const QString& method, const QJsonObject& params) {
    return line({{QStringLiteral("method"), method}, {QStringLiteral("params"), params}});
}

QByteArray result(const QJsonValue& id, const QJsonObject& result) {
    return line({{QStringLiteral("id"), id}, {QStringLiteral("result"), result}});
}

QByteArray error(const QJsonValue& id, const Error& error) {
    const QJsonObject e{{QStringLiteral("code"), error.code},
                        {QStringLiteral("message"), error.message}};
    return line({{QStringLiteral("id"), id.isUndefined() ? QJsonValue() : id},
                 {QStringLiteral("error"), e}});
}

QList<LineReader::Line> LineReader::feed(const QByteArray& bytes) {
    QList<Line> lines;
    qsizetype from = 0;
    while (from < bytes.size()) {
        const qsizetype end = bytes.indexOf('\n', from);
        const QByteArray piece = bytes.mid(from, end < 0 ? -1 : end - from);
        from = end < 0 ? bytes.size() : end + 1;
        if (!m_skipping)
            m_pending += piece;
        if (m_pending.size() > MaxLineBytes) {
            m_pending.clear();
            m_skipping = true;
        }
        if (end < 0)
            break;
        lines << Line{std::exchange(m_pending, {}), std::exchange(m_skipping, false)};
    }
    return lines;
}

QJsonObject bytesNote(char dir, const QByteArray& bytes) {
    return {{QStringLiteral("dir"), QString(QLatin1Char(dir))},
            {QStringLiteral("data"), QString::fromLatin1(bytes.toBase64())}};
}

bool readBytesNote(const QJsonObject& params, char* dir, QByteArray* bytes) {
    const QString d = params.value(QStringLiteral("dir")).toString();
    if (d.size() != 1 || !QStringLiteral("<>#").contains(d))
        return false;
    *dir = d.at(0).toLatin1();
    *bytes = QByteArray::fromBase64(params.value(QStringLiteral("data")).toString().toLatin1());
    return true;
}

} // namespace JsonRpc
