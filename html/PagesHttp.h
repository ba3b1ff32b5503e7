#pragma once

#include "html/PagesCodec.h"
#include "net/HttpResponse.h"

#include <QByteArray>
#include <QString>
#include <QUrl>

// What the local HTTP front end hands to the module side and gets back, the pages it makes
// up itself, and the checks a request passes before anything of it reaches the line.
namespace PagesHttp {

// The program's own texts of the pages window.
inline const QString NoResponseText = QStringLiteral("Error: No response.");
inline const QString TimeOutText = QStringLiteral("Error: Time Out.");
inline const QString RefusalText = QStringLiteral("Error: Module does not support this command.");
inline const QString UploadedText = QStringLiteral("Uploaded");
inline const QString PleaseWaitText = QStringLiteral("Please wait...");
inline const QString LoadingText = QStringLiteral("Loading...");
// What the user is told of a window size reply that is not Ok ("Error: No response." ...).
QString windowSizeText(PagesCodec::SizeResult result);

struct PageRequest {
    enum class Method { Get, Post, Head };
    Method method = Method::Get;
    QByteArray path;   // the document path, percent-decoded, with its leading "/"
    QByteArray params; // the unparsed parameter text
};

using PageResponse = HttpResponse;

// Content type of a module reply of this kind; empty when none is set.
QByteArray contentTypeOf(PagesCodec::ReplyKind kind);

// Pages of our own.
PageResponse busyTimeoutPage();
PageResponse refusalPage();
// With a Retry button that loads the same address again.
PageResponse noResponsePage(const QByteArray& path, const QByteArray& params);
PageResponse invalidDataPage();

// The page request of an HTTP request: the path percent-decoded, the parameter text. The
// path is taken from the request target as sent when there is one in origin form ("/..."):
// a URL parser reads "//x" as a host name and would lose the path "//x".
PageRequest pageRequest(PageRequest::Method method, const QUrl& url, const QByteArray& body,
                        const QByteArray& target = {});

// The parameter text of a request: the URL's query for a GET or HEAD; for a POST the body,
// then CR LF and the URL's query when there is one.
QByteArray parameterText(PageRequest::Method method, const QByteArray& body,
                         const QByteArray& query);

// The longest body a request may bring: a form's fields for the module. Longer bodies are
// refused (413) before they are read.
constexpr int MaxBodyBytes = 500;
// The longest text a document request carries after "!B" (path, "?" and query). Longer ones
// are refused, not sent: the modules keep at most 512 bytes of a frame after its "!", and a
// request cut short would fetch some other document or apply only part of a form.
constexpr int MaxDocumentText = 512 - 1;

// Why a request never reaches the line (status 0: it may go on).
struct Refusal {
    int status = 0;
    QByteArray reason;
};
// The headers that tell where a request comes from.
struct Origin {
    QByteArray host;      // Host
    QByteArray origin;    // Origin, when the browser sent one
    QByteArray fetchSite; // Sec-Fetch-Site, when the browser sent one
    QByteArray referer;   // Referer, when the browser sent one
};
// Only our own pages may reach the module. The Host must be a loopback name or address, on
// any port (a browser here, or the near end of a tunnel such as ssh -L): a name of another
// site that its owner made resolve to 127.0.0.1 is refused, so that none of its pages can
// talk to us as their own site. A browser that names the requesting site (Origin, Referer,
// Sec-Fetch-Site) must name ours, the site the Host names. Then the path and the parameter
// text are checked for control bytes and for the length a document request can carry.
Refusal vet(const Origin& from, const PageRequest& request);

} // namespace PagesHttp
