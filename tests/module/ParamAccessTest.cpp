#include "module/ParamAccess.h"
#include "module/Errors.h"

#include <QTest>
#include <limits>

class ParamAccessTest : public QObject {
    Q_OBJECT

private slots:
    void setParam_data();
    void setParam();
    void step_data();
    void step();
    void getParamCopiesWhole();
    void badIndex_data();
    void badIndex();
};

// A module whose parameter 0 is numeric with 121 raw values (0..120).
static TModule numericModule(bool multi = false, int channel = 0) {
    TModule m;
    m.Params.resize(2);
    m.ParamCount = 2;
    m.MultiChannel = multi;
    m.CurChannel = channel;
    m.Params[0].Ranges = {121};
    m.Params[0].MaxValue = 120;
    m.Messages << "old";
    m.ErrorCount = 3;
    return m;
}

void ParamAccessTest::setParam_data() {
    QTest::addColumn<int>("value");
    QTest::addColumn<bool>("taken");
    QTest::newRow("at MaxValue") << 120 << true;
    QTest::newRow("one above") << 121 << false;
    QTest::newRow("negative") << -5 << true;
}

void ParamAccessTest::setParam() {
    QFETCH(int, value);
    QFETCH(bool, taken);
    TModule m = numericModule(true, 3);
    TParam p;
    GetParam(m, 0, p);
    p.Values[3] = value;
    p.MaxValue = 1000; // the stored record's limit counts, not this one
    p.Name = "new";
    SetParam(m, 0, p);
    QCOMPARE(m.Params[0].Name, taken ? "new" : "");
    QCOMPARE(m.Params[0].Values[3], taken ? value : 0);
    QCOMPARE(m.Dirty, taken);
    QVERIFY(m.Messages.isEmpty() && m.ErrorCount == 0);
}

void ParamAccessTest::step_data() {
    QTest::addColumn<bool>("up");
    QTest::addColumn<bool>("multi");
    QTest::addColumn<int>("range");
    QTest::addColumn<int>("before");
    QTest::addColumn<int>("after");
    QTest::addColumn<int>("channelAfter");

    const int lowest = std::numeric_limits<int>::min();
    QTest::newRow("up") << true << false << 121 << 5 << 6 << 2;
    QTest::newRow("up at top") << true << false << 121 << 120 << 120 << 2;
    QTest::newRow("up, lowest range") << true << false << lowest << 0 << 0 << 2;
    QTest::newRow("down") << false << false << 121 << 5 << 4 << 2;
    QTest::newRow("down at 0") << false << false << 121 << 0 << 0 << 2;
    QTest::newRow("channel selector up") << true << true << 121 << 2 << 3 << 2;
    QTest::newRow("channel selector down") << false << true << 121 << 7 << 6 << 7;
    QTest::newRow("selector up from -3") << true << true << 121 << -3 << -2 << 2;
}

void ParamAccessTest::step() {
    QFETCH(bool, up);
    QFETCH(bool, multi);
    QFETCH(int, range);
    QFETCH(int, before);
    QFETCH(int, after);
    TModule m = numericModule(multi, 2);
    m.Params[0].Ranges = {range};
    m.Params[0].Values[2] = before;
    up ? StepUp(m, 0) : StepDown(m, 0);
    QCOMPARE(m.Params[0].Values[2], after);
    QTEST(m.CurChannel, "channelAfter");
    QCOMPARE(m.Dirty, after != before);
    QVERIFY(m.Messages.isEmpty() && m.ErrorCount == 0);

    // parameter 1 has no range at all (a record the info block left empty)
    m.Params[1].Values[m.CurChannel] = 0;
    StepUp(m, 1);
    QCOMPARE(m.Params[1].Values[m.CurChannel], 0);
}

void ParamAccessTest::getParamCopiesWhole() {
    TModule m = numericModule();
    m.Params[1].Items = QStringList{"Auto", "Manual"};
    m.Params[1].Values[99] = 4;
    TParam p;
    GetParam(m, 1, p);
    QCOMPARE(p.Items, m.Params[1].Items);
    QCOMPARE(p.Values[99], 4);
    p.Items[0] = "changed";
    QCOMPARE(m.Params[1].Items[0], "Auto");
}

void ParamAccessTest::badIndex_data() {
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("channel");
    QTest::newRow("negative index") << -1 << 0;
    QTest::newRow("index = ParamCount") << 2 << 0;
    QTest::newRow("channel 100") << 0 << 100;
}

void ParamAccessTest::badIndex() {
    QFETCH(int, index);
    QFETCH(int, channel);
    TModule m = numericModule();
    m.CurChannel = channel;
    TParam p;
    QVERIFY_THROWS_EXCEPTION(OrvexError, GetParam(m, index, p));
    QVERIFY_THROWS_EXCEPTION(OrvexError, SetParam(m, index, p));
    QVERIFY_THROWS_EXCEPTION(OrvexError, StepUp(m, index));
    QVERIFY_THROWS_EXCEPTION(OrvexError, StepDown(m, index));
    QVERIFY(!m.Dirty);
    QCOMPARE(m.ErrorCount, 3);
}

QTEST_GUILESS_MAIN(ParamAccessTest)
#include "ParamAccessTest.moc"
