// The parsers of the text replies: messages, version (last line) and serial number.
#include "module/Parsers.h"
#include "tests/fuzz/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray buffer = asBuffer(data, size);
    TModule m;
    tolerate([&] { ParseMessages(m, buffer); });
    tolerate([&] { ParseLastLine(m, buffer, m.VersionText); });
    tolerate([&] { ParseSerial(m, buffer); });
    require(m.SerialText.size() < 2048);
    return 0;
}
