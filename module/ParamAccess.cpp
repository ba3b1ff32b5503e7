#include "module/ParamAccess.h"
#include "module/Errors.h"

namespace {

// The parameter at index, checked together with the channel its current value lives in.
template <class Module> auto& checkedParam(Module& m, int index) {
    if (index < 0 || index >= m.ParamCount || index >= m.Params.size())
        throw OrvexError(QStringLiteral("Parameter %1 does not exist; the module has %2")
                             .arg(index)
                             .arg(m.Params.size()));
    if (m.CurChannel < 0 || m.CurChannel >= MaxChannels)
        throw OrvexError(QStringLiteral("Channel %1 does not exist").arg(m.CurChannel));
    return m.Params[index];
}

void clearReport(TModule& m) {
    m.ErrorCount = 0;
    m.Messages.clear();
}

// One raw step up (+1) or down (-1). A record without a range (one the info block left
// empty) has no value above 0 to step to.
void step(TModule& m, int index, int delta) {
    TParam& param = checkedParam(m, index);
    clearReport(m);
    const qint32 v = param.Values[m.CurChannel];
    const bool inside =
        delta > 0 ? !param.Ranges.isEmpty() && qint64(v) < qint64(param.Ranges[0]) - 1 : v > 0;
    if (!inside)
        return;
    param.Values[m.CurChannel] = v + delta;
    // Parameter 0 of a multi-channel module selects the channel: the record stays on the
    // channel whose value was just changed.
    if (index == 0 && m.MultiChannel)
        m.selectChannel(v);
    m.Dirty = true;
}

} // namespace

void GetParam(const TModule& m, int index, TParam& param) {
    param = checkedParam(m, index);
}

void SetParam(TModule& m, int index, const TParam& param) {
    TParam& stored = checkedParam(m, index);
    clearReport(m);
    if (stored.MaxValue >= param.Values[m.CurChannel]) {
        stored = param;
        m.Dirty = true;
    }
}

void StepUp(TModule& m, int index) {
    step(m, index, +1);
}

void StepDown(TModule& m, int index) {
    step(m, index, -1);
}

int WriteNumber(const TModule& m, int index) {
    return index == 0 && m.TypeName == QLatin1String("XXX") ? ModuleTypeParameter : index;
}
