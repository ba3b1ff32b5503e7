#pragma once

#include <QHash>
#include <QJsonObject>
#include <QMap>
#include <QString>

struct ModuleAddress;
class TModule;

// The measured numbers of every module over the last 30 minutes, as the agent read them: its
// polls (every interval, 30 s by default) and the live reads of the pages that show a panel
// (every 5 s). A page opened later thus shows what happened before it. Each value keeps the
// lowest and highest number of every 30 seconds, so the memory stays the same however often
// it is read. A module of another type in the slot starts afresh.
class MeasuredTrends {
public:
    static constexpr qint64 SpanMs = 30 * 60 * 1000;
    static constexpr qint64 BucketMs = 30 * 1000;
    static constexpr int Buckets = int(SpanMs / BucketMs);

    // Milliseconds of a clock that only goes forward.
    static qint64 now();

    // The measured numbers of the module's record (every channel), read just now.
    void take(const ModuleAddress& at, const TModule& m, qint64 nowMs);
    // The trend of the parameter on the record's channel, the record's value (the one shown)
    // counted in: {"min", "max"} as the panel shows numbers, "buckets": the 30 s periods oldest
    // first, each null or [lowest, highest] in the parameter's steps (the shown number without
    // its decimal point). Empty when none is kept.
    QJsonObject json(const ModuleAddress& at, const TModule& m, int index, qint64 nowMs) const;

private:
    struct Range {
        qint64 lo = 0;
        qint64 hi = 0;
    };
    using Periods = QMap<qint64, Range>; // by period number (nowMs / BucketMs)
    static void add(Periods& periods, qint64 period, qint64 value);
    struct Module {
        QString type;
        QHash<int, Periods> values; // by parameter * MaxChannels + channel
    };
    QHash<QString, Module> m_modules; // by address ("1/2")
};
