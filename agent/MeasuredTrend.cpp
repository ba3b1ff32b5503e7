#include "agent/MeasuredTrend.h"

#include "link/ModuleReload.h"
#include "module/Display.h"
#include "module/Module.h"
#include "module/ModuleAddress.h"

#include <QJsonArray>
#include <chrono>
#include <optional>

namespace {
bool isTrended(const TParam& p) {
    return IsMeasured(p) && (p.Kind == KindNumeric || p.Kind == KindNumericRO);
}

int key(int index, int channel) {
    return index * MaxChannels + channel;
}
} // namespace

void MeasuredTrends::add(Periods& periods, qint64 period, qint64 value) {
    auto it = periods.find(period);
    if (it == periods.end())
        it = periods.insert(period, Range{value, value});
    it->lo = qMin(it->lo, value);
    it->hi = qMax(it->hi, value);
}

qint64 MeasuredTrends::now() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void MeasuredTrends::take(const ModuleAddress& at, const TModule& m, qint64 nowMs) {
    Module& kept = m_modules[at.name()];
    if (kept.type != m.TypeName)
        kept = Module{m.TypeName, {}};
    const qint64 period = nowMs / BucketMs;
    const int channels = m.MultiChannel ? qBound(1, m.ChannelCount, MaxChannels) : 1;
    for (int i = 0; i < m.Params.size(); ++i) {
        const TParam& p = m.Params.at(i);
        if (!isTrended(p))
            continue;
        for (int c = 0; c < channels; ++c) {
            Periods& periods = kept.values[key(i, c)];
            add(periods, period, ParamDisplay::scaled(p, p.Values[size_t(c)]));
            periods.erase(periods.begin(), periods.lowerBound(period - Buckets + 1));
        }
    }
}

QJsonObject MeasuredTrends::json(const ModuleAddress& at, const TModule& m, int index,
                                 qint64 nowMs) const {
    const auto module = m_modules.constFind(at.name());
    if (module == m_modules.cend() || module->type != m.TypeName)
        return {};
    const int channel = m.MultiChannel ? m.CurChannel : 0;
    Periods periods = module->values.value(key(index, channel));
    if (periods.isEmpty())
        return {};
    // The value shown beside the trend lies within it, whoever read it last.
    add(periods, nowMs / BucketMs,
        ParamDisplay::scaled(m.Params.at(index), m.Params.at(index).Values[size_t(channel)]));
    const qint64 first = nowMs / BucketMs - Buckets + 1;
    QJsonArray buckets;
    std::optional<Range> all; // there is one: the value shown
    for (qint64 period = first; period < first + Buckets; ++period) {
        const auto it = periods.constFind(period);
        if (it == periods.cend()) {
            buckets << QJsonValue();
            continue;
        }
        buckets << QJsonArray{it->lo, it->hi};
        all = all ? Range{qMin(all->lo, it->lo), qMax(all->hi, it->hi)} : *it;
    }
    const int d = ParamDisplay::decimalsOf(m.Params.at(index));
    return {{QStringLiteral("min"), ParamDisplay::fixedText(all->lo, d)},
            {QStringLiteral("max"), ParamDisplay::fixedText(all->hi, d)},
            {QStringLiteral("buckets"), buckets}};
}
