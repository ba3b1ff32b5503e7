// The diagnostic byte parser with a DiagCount from the first two bytes (negative and
// impossible counts included), then the report over a short list of texts.
#include "module/Parsers.h"
#include "tests/fuzz/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TModule m;
    m.DiagCount = take<int16_t>(data, size);
    tolerate([&] { ParseDiagBytes(m, asBuffer(data, size)); });
    m.ExtDiag = QStringList{"a", "b", "c", "d", "e", "f", "g", "h", "i"};
    m.ExtDiagValid = true;
    ExtDiagReport(m);
    require(!m.Messages.isEmpty());
    return 0;
}
