// The agent's trend of a measured number, on a clock of the test's: what 30 minutes hold.
#include "agent/MeasuredTrend.h"
#include "module/Module.h"
#include "module/ModuleAddress.h"
#include "tests/support/TestMain.h"

#include <QJsonArray>
#include <QtTest>

class MeasuredTrendTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // A read older than 30 minutes is gone from min and max, a period without a read is a gap,
    // the value shown counts; a setting has no trend; another module in the slot starts afresh.
    void lastHalfHour() {
        TParam volts;
        volts.Kind = KindNumericRO;
        volts.Step = 1;
        volts.Decimals = 1;
        volts.Mins = {0};
        volts.Ranges = {400};
        TParam setting = volts;
        setting.Kind = KindNumeric;
        TModule m;
        m.TypeName = "PSU-300";
        m.Params = {volts, setting};
        MeasuredTrends trends;
        const ModuleAddress at{1, 4};
        constexpr qint64 minute = 60000, start = 1000 * minute; // a period begins there
        const auto read = [&](qint64 ms, qint32 value) {
            m.Params[0].Values[0] = m.Params[1].Values[0] = value;
            trends.take(at, m, start + ms);
        };
        read(0, 300);
        read(minute, 200);
        read(29 * minute, 240);
        m.Params[0].Values[0] = 241; // another client's read since
        const qint64 now = start + 30 * minute + 1;
        const QJsonObject trend = trends.json(at, m, 0, now);
        QCOMPARE(trend["min"].toString(), "20.0");
        QCOMPARE(trend["max"].toString(), "24.1");
        const QJsonArray buckets = trend["buckets"].toArray();
        QCOMPARE(buckets.size(), MeasuredTrends::Buckets);
        QVERIFY(buckets[0].isNull());
        QCOMPARE(buckets[1].toArray(), (QJsonArray{200, 200}));
        QCOMPARE(buckets[57].toArray(), (QJsonArray{240, 240}));
        QCOMPARE(buckets[59].toArray(), (QJsonArray{241, 241}));
        QVERIFY(trends.json(at, m, 1, now).isEmpty());

        m.TypeName = "PSU-600";
        QVERIFY(trends.json(at, m, 0, now).isEmpty());
        read(30 * minute, 120);
        QCOMPARE(trends.json(at, m, 0, now)["max"].toString(), "12.0");
    }
};

ORVEX_TEST(MeasuredTrendTest)
#include "trend.moc"
