// The extended diagnostic parser, then the report of two faulty bytes over what it read.
#include "module/Parsers.h"
#include "tests/fuzz/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TModule m;
    tolerate([&] { ParseExtDiag(m, asBuffer(data, size)); });
    m.DiagCount = 2;
    m.DiagBytes = QStringList{"FF", "81"};
    ExtDiagReport(m);
    return 0;
}
