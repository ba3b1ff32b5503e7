// Any browser request target and body through the front end's conversion to a module
// request: what passes the checks is one "!B" line without a control byte inside it and
// within the length a module takes, and the Retry page never lets the address out of its
// script string. Links orvex_html.
#include "html/PagesCodec.h"
#include "html/PagesHttp.h"
#include "tests/fuzz/FuzzInput.h"

using namespace PagesHttp;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto method = PageRequest::Method(take<uint8_t>(data, size) % 3);
    const QByteArray input = asBuffer(data, size);
    // The request target, then after a NUL the body.
    const qsizetype nul = input.indexOf('\0');
    const QByteArray target = nul < 0 ? input : input.left(nul);
    const QByteArray body = nul < 0 ? QByteArray() : input.mid(nul + 1);
    const QUrl url(QStringLiteral("http://127.0.0.1:88") + QString::fromLatin1(target));
    const PageRequest request = pageRequest(method, url, body);
    const Refusal refusal = vet({"127.0.0.1:88", {}, {}}, 88, request);
    if (refusal.status != 0)
        return 0;
    const QByteArray text = PagesCodec::documentText(request.path, request.params);
    const QByteArray frame = PagesCodec::documentRequest(text);
    require(frame.startsWith("!B") && frame.endsWith('\r'));
    require(text.size() <= MaxDocumentText);
    for (qsizetype i = 0; i + 1 < frame.size(); ++i)
        require(static_cast<unsigned char>(frame.at(i)) >= 0x20 && frame.at(i) != 0x7F);
    const QByteArray page = noResponsePage(request.path, request.params).body;
    const qsizetype open = page.indexOf("window.open('") + 13;
    const qsizetype close = page.indexOf("','_self');\"> </BODY></HTML>", open);
    require(close >= open);
    const QByteArray address = page.mid(open, close - open);
    require(!address.contains('\'') && !address.contains('"') && !address.contains('<') &&
            !address.contains('\\'));
    return 0;
}
