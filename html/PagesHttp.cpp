#include "html/PagesHttp.h"

namespace PagesHttp {

using PagesCodec::ReplyKind;

namespace {
PageResponse htmlPage(const QByteArray& body) {
    return {200, "text/html", body};
}

bool hasControlByte(const QByteArray& text) {
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F)
            return true;
    }
    return false;
}

// The address goes into a script string inside an attribute: characters that could end
// either are given as the URL escapes they stand for, so the address stays the same. The
// path arrives decoded and is encoded again; the parameter text is still encoded.
QByteArray scriptSafe(const QByteArray& path, const QByteArray& params) {
    QByteArray url = path.toPercentEncoding("/;:,+$!*()~@=&");
    if (!params.isEmpty())
        url += '?' + params.toPercentEncoding("/?=&;:,+$!*()~@%[]");
    return url;
}
} // namespace

QByteArray contentTypeOf(ReplyKind kind) {
    switch (kind) {
    case ReplyKind::HTML:
        return "text/html";
    case ReplyKind::CSS:
        return "text/css";
    case ReplyKind::JS:
        return "text/js";
    case ReplyKind::GIF:
        return "image/gif";
    case ReplyKind::JPG:
        return "image/jpeg";
    case ReplyKind::BMP:
        return "image/bmp";
    case ReplyKind::ACK:
    case ReplyKind::NAK:
        return "text/plain";
    default:
        return {};
    }
}

PageResponse busyTimeoutPage() {
    return {200, "text/plain", "Timeout"};
}

PageResponse refusalPage() {
    return htmlPage("<HTML><BODY>" + RefusalText.toLatin1() + " </BODY></HTML>");
}

PageResponse noResponsePage(const QByteArray& path, const QByteArray& params) {
    return htmlPage("<HTML><BODY><B>" + NoResponseText.toLatin1() +
                    "</B><BR><BR><INPUT TYPE=button value=\"Retry\" onClick=\"window.open('" +
                    scriptSafe(path, params) + "','_self');\"> </BODY></HTML>");
}

PageResponse invalidDataPage() {
    return htmlPage(
        "<HTML><BODY><FONT COLOR=RED><B>Error:</B>Invalid data arrived</FONT></BODY></HTML>");
}

PageRequest pageRequest(PageRequest::Method method, const QUrl& url, const QByteArray& body,
                        const QByteArray& target) {
    PageRequest r;
    r.method = method;
    const qsizetype query = target.indexOf('?');
    const QByteArray path = !target.startsWith('/') ? url.path(QUrl::FullyEncoded).toLatin1()
                            : query < 0             ? target
                                                    : target.left(query);
    r.path = QByteArray::fromPercentEncoding(path);
    r.params = parameterText(method, body, url.query(QUrl::FullyEncoded).toLatin1());
    return r;
}

QByteArray parameterText(PageRequest::Method method, const QByteArray& body,
                         const QByteArray& query) {
    if (method != PageRequest::Method::Post)
        return query;
    return query.isEmpty() ? body : body + "\r\n" + query;
}

Refusal vet(const Origin& from, quint16 port, const PageRequest& request) {
    const QByteArray self = "127.0.0.1:" + QByteArray::number(port);
    if (from.host.trimmed().toLower() != self)
        return {403, "This server answers only to " + self + ".\n"};
    if (!from.origin.isEmpty() && from.origin.trimmed().toLower() != "http://" + self)
        return {403, "Requests from other sites are not served.\n"};
    const QByteArray site = from.fetchSite.trimmed().toLower();
    if (!site.isEmpty() && site != "same-origin" && site != "none")
        return {403, "Requests from other sites are not served.\n"};
    if (hasControlByte(request.path) || hasControlByte(request.params))
        return {400, "Control characters cannot be sent to the module.\n"};
    if (PagesCodec::documentText(request.path, request.params).size() > MaxDocumentText)
        return {414, "The address is too long for the module.\n"};
    return {};
}

QString windowSizeText(PagesCodec::SizeResult result) {
    switch (result) {
    case PagesCodec::SizeResult::Ok:
        return QString();
    case PagesCodec::SizeResult::NoResponse:
        return NoResponseText;
    case PagesCodec::SizeResult::InvalidResponse:
        return QStringLiteral("Error: Invalid response.");
    default:
        return QStringLiteral("Error: Invalid data.");
    }
}

} // namespace PagesHttp
