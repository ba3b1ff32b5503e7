// The info block parser, read twice into the same record as the work loop does, then every
// parameter stepped through the access routines with whatever limits the block gave it.
#include "module/ParamAccess.h"
#include "module/Parsers.h"
#include "tests/fuzz/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray buffer = asBuffer(data, size);
    TModule m;
    tolerate([&] { ParseInfoBlock(m, buffer); });
    tolerate([&] { ParseInfoBlock(m, buffer); });
    require(m.ParamCount == m.Params.size());
    require(m.VisibleCount <= m.ParamCount);
    require(m.ParseBuf == nullptr);
    for (int i = 0; i < m.ParamCount; ++i) {
        StepUp(m, i);
        StepDown(m, i);
        TParam p;
        GetParam(m, i, p);
        SetParam(m, i, p);
    }
    return 0;
}
