// What the panel shows of a raw value and what a typed number becomes (shared by the panel
// and the command-line tool).
#include "module/Display.h"
#include "module/ParamAccess.h"
#include "tests/support/TestMain.h"

#include <QTest>

Q_DECLARE_METATYPE(TParam)

namespace {
TParam numeric(qint32 min, qint32 step, qint32 count, qint32 decimals, const QString& units) {
    TParam p;
    p.Kind = KindNumeric;
    p.Name = QStringLiteral("Level");
    p.Mins = {min};
    p.Step = step;
    p.Ranges = {count};
    p.MaxValue = count - 1;
    p.Decimals = decimals;
    p.Units = units;
    return p;
}

TParam list(quint8 kind) {
    TParam p;
    p.Kind = kind;
    p.Name = QStringLiteral("Band");
    if (kind == KindSegmented) {
        p.SegCount = 3;
        p.SegNames = {QStringLiteral("E"), QStringLiteral("S"), QStringLiteral("X")};
        p.Mins = {2, 1, 0};
        p.Ranges = {3, 2, 1};
    } else if (kind == KindEnum) {
        p.Items = {QStringLiteral("Auto"), QStringLiteral("Manual")};
    }
    p.Text = QStringLiteral("ASI 1");
    return p;
}
} // namespace

class DisplayTest : public QObject {
    Q_OBJECT
private slots:
    void shown_data() {
        QTest::addColumn<TParam>("param");
        QTest::addColumn<int>("raw");
        QTest::addColumn<QString>("shown");
        QTest::newRow("two decimals") << numeric(-300, 5, 121, 2, "dB") << 60 << "0.00";
        QTest::newRow("negative") << numeric(-300, 5, 121, 2, "dB") << 0 << "-3.00";
        QTest::newRow("whole") << numeric(70, 1, 41, 0, "") << 40 << "110";
        QTest::newRow("read-only number") << [] {
            TParam p = numeric(470, 5, 10, 1, "");
            p.Kind = KindNumericRO;
            return p;
        }() << 1 << "47.5";
        QTest::newRow("segmented") << list(KindSegmented) << 3 << "S1";
        QTest::newRow("segment from 0") << list(KindSegmented) << 5 << "X";
        QTest::newRow("enumerated") << list(KindEnum) << 1 << "Manual";
        QTest::newRow("off") << list(KindOnOff) << 1 << "Off";
        QTest::newRow("no such entry") << list(KindEnum) << 2 << "";
        QTest::newRow("information") << list(KindInfo) << 0 << "ASI 1";
        QTest::newRow("error entry") << list(KindError) << 0 << "ERROR";
    }
    void shown() {
        QFETCH(TParam, param);
        QFETCH(int, raw);
        QTEST(ParamDisplay::shownValue(param, raw), "shown");
    }

    void typed_data() {
        QTest::addColumn<TParam>("param");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<int>("raw");
        QTest::addColumn<QString>("message");
        const TParam whole = numeric(70, 1, 41, 0, "dB");
        const TParam tenths = numeric(470, 5, 10, 1, "MHz");
        const QString wholeRange = QStringLiteral("Level must be between 70 and 110 dB");
        QTest::newRow("truncated")
            << whole << "110.9" << int(ParamDisplay::TypedEntry::Accepted) << 40 << "";
        QTest::newRow("below") << whole << "69.9" << int(ParamDisplay::TypedEntry::OutOfRange) << 0
                               << wholeRange;
        QTest::newRow("step down to raw")
            << tenths << "47.3" << int(ParamDisplay::TypedEntry::Accepted) << 0 << "";
        QTest::newRow("bound without trailing zero")
            << tenths << "46.9" << int(ParamDisplay::TypedEntry::OutOfRange) << 0
            << "Level must be between 47 and 51.5 MHz";
        QTest::newRow("upper bound")
            << tenths << "51.5" << int(ParamDisplay::TypedEntry::Accepted) << 9 << "";
        QTest::newRow("beyond 32 bits")
            << whole << "1e20" << int(ParamDisplay::TypedEntry::OutOfRange) << 0 << wholeRange;
        QTest::newRow("not a number") << whole << "12a" << int(ParamDisplay::TypedEntry::NotANumber)
                                      << 0 << "'12a' is not a valid floating point value";
        QTest::newRow("no units") << numeric(0, 1, 2, 0, "") << "3"
                                  << int(ParamDisplay::TypedEntry::OutOfRange) << 0
                                  << "Level must be between 0 and 1 ";
    }
    void typed() {
        QFETCH(TParam, param);
        QFETCH(QString, text);
        const ParamDisplay::TypedEntry e = ParamDisplay::typedToRaw(param, text);
        QTEST(int(e.outcome), "outcome");
        if (e.outcome == ParamDisplay::TypedEntry::Accepted)
            QTEST(int(e.raw), "raw");
        QTEST(e.message, "message");
    }

    void writeNumber() {
        TModule m;
        m.TypeName = QStringLiteral("XXX");
        QVERIFY(SelectsModuleType(m));
        QCOMPARE(WriteNumber(m, 0), 90);
        QCOMPARE(WriteNumber(m, 1), 1);
        m.TypeName = QStringLiteral("XXXL");
        QVERIFY(!SelectsModuleType(m));
        QCOMPARE(WriteNumber(m, 0), 0);
    }
};

ORVEX_TEST(DisplayTest)
#include "DisplayTest.moc"
