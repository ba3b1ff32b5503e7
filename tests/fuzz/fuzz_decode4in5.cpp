// Any reply content through the receiving end of the pages protocol: the 4-in-5 decoding,
// the header lines, the link rewriting and the window size reply. No crash, and the
// decoding never makes more than four bytes of each group of five positions.
// Links orvex_html.
#include "html/PagesCodec.h"
#include "tests/fuzz/FuzzInput.h"

using namespace PagesCodec;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray input = asBuffer(data, size);
    const QByteArray decoded = Decode4in5(input);
    require(decoded.size() <= input.size() / 5 * 4);
    headerOf(input);
    const QByteArray page = rewriteLocalLink(input, 65535);
    require(page == input || page.size() == input.size() + 8);
    int width = 0, height = 0;
    if (parseWindowSize(input, &width, &height) == SizeResult::Ok)
        require(width > 0 && height > 0);
    return 0;
}
