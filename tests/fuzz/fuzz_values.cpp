// The values parser on a record shaped by the first bytes (parameters, channels, the limit
// of every parameter), then the channel selector stepped.
#include "module/ParamAccess.h"
#include "module/Parsers.h"
#include "tests/fuzz/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TModule m;
    m.ParamCount = take<uint8_t>(data, size) % 16;
    m.Params.resize(m.ParamCount);
    m.ChannelCount = take<int8_t>(data, size);
    m.MultiChannel = m.ChannelCount > 1;
    const qint32 range = take<qint32>(data, size);
    for (TParam& p : m.Params)
        p.Ranges = {range};
    tolerate([&] { ParseValues(m, asBuffer(data, size)); });
    require(m.CurChannel >= 0 && m.CurChannel < MaxChannels);
    if (m.ParamCount > 0) {
        StepUp(m, 0);
        StepDown(m, 0);
        require(m.CurChannel >= 0 && m.CurChannel < MaxChannels);
    }
    return 0;
}
