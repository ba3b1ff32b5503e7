#include "html/PagesHttp.h"

#include <QHostAddress>

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

// A loopback name or address, with or without a port.
bool isLoopbackHost(const QByteArray& host) {
    QByteArray name = host;
    const qsizetype colon = host.lastIndexOf(':');
    if (colon >= 0 && !host.mid(colon).contains(']')) {
        bool ok = false;
        const uint port = host.mid(colon + 1).toUInt(&ok);
        if (!ok || port > 65535)
            return false;
        name = host.left(colon);
    }
    if (name == "localhost" || name == "localhost.")
        return true;
    const bool bracketed = name.startsWith('[') && name.endsWith(']');
    const QHostAddress address(QString::fromLatin1(bracketed ? name.mid(1).chopped(1) : name));
    const auto v6 = QAbstractSocket::IPv6Protocol;
    return address.isLoopback() && (address.protocol() == v6) == bracketed;
}

// The address is the site's own or one of its documents.
bool isWithin(const QByteArray& address, const QByteArray& site) {
    if (!address.startsWith(site))
        return false;
    const QByteArray rest = address.mid(site.size());
    return rest.isEmpty() || rest.startsWith('/') || rest.startsWith('?') || rest.startsWith('#');
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

Refusal vet(const Origin& from, const PageRequest& request) {
    const QByteArray host = from.host.trimmed().toLower();
    if (!isLoopbackHost(host))
        return {403, "This server answers only to loopback names and addresses (localhost, "
                     "127.0.0.1, [::1]).\n"};
    const QByteArray self = "http://" + host;
    const QByteArray site = from.fetchSite.trimmed().toLower();
    if ((!from.origin.isEmpty() && from.origin.trimmed().toLower() != self) ||
        (!from.referer.isEmpty() && !isWithin(from.referer.trimmed().toLower(), self)) ||
        (!site.isEmpty() && site != "same-origin" && site != "none"))
        return {403, "Requests from other sites are not served.\n"};
    if (hasControlByte(request.path) || hasControlByte(request.params))
        return {400, "Control characters cannot be sent to the module.\n"};
    if (PagesCodec::documentText(request.path, request.params).size() <= MaxDocumentText)
        return {};
    if (request.method == PageRequest::Method::Post)
        return {413, "The form's data and address are too long for the module.\n"};
    return {414, "The address is too long for the module.\n"};
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
