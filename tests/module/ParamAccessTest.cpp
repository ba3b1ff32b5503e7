#include "module/ParamAccess.h"
#include "module/Errors.h"
#include "tests/support/TestMain.h"

#include <QTest>

class ParamAccessTest : public QObject {
    Q_OBJECT

private slots:
    void change_data();
    void change();
    void badIndex_data();
    void badIndex();
};

// Parameter 0 numeric with 121 raw values (0..120); parameter 1 left empty by the info block.
static TModule numericModule(bool multi) {
    TModule m;
    m.Params.resize(2);
    m.ParamCount = 2;
    m.MultiChannel = multi;
    m.CurChannel = 2;
    m.Params[0].Ranges = {121};
    m.Params[0].MaxValue = 120;
    m.Messages << "old";
    m.ErrorCount = 3;
    return m;
}

void ParamAccessTest::change_data() {
    QTest::addColumn<QString>("op");
    QTest::addColumn<bool>("multi");
    QTest::addColumn<int>("before");
    QTest::addColumn<int>("after");
    QTest::addColumn<int>("channelAfter");
    QTest::newRow("up") << "up" << false << 5 << 6 << 2;
    QTest::newRow("up at top") << "up" << false << 120 << 120 << 2;
    QTest::newRow("down") << "down" << false << 5 << 4 << 2;
    QTest::newRow("down at 0") << "down" << false << 0 << 0 << 2;
    QTest::newRow("channel selector up") << "up" << true << 2 << 3 << 2;
    QTest::newRow("channel selector down") << "down" << true << 7 << 6 << 7;
    QTest::newRow("selector up from -3") << "up" << true << -3 << -2 << 2;
    QTest::newRow("set MaxValue") << "set 120" << false << 0 << 120 << 2;
    QTest::newRow("set one above") << "set 121" << false << 0 << 0 << 2;
    QTest::newRow("set negative") << "set -5" << false << 0 << -5 << 2;
}

void ParamAccessTest::change() {
    QFETCH(QString, op);
    QFETCH(bool, multi);
    QFETCH(int, before);
    QFETCH(int, after);
    TModule m = numericModule(multi);
    m.Params[0].Values[2] = before;
    if (op == "up") {
        StepUp(m, 0);
    } else if (op == "down") {
        StepDown(m, 0);
    } else {
        TParam p;
        GetParam(m, 0, p);
        p.Values[2] = op.mid(4).toInt();
        p.MaxValue = 1000; // the stored record's limit counts, not this one
        p.Items = QStringList{"new"};
        SetParam(m, 0, p);
        QCOMPARE(m.Params[0].Items, after == before ? QStringList{} : p.Items);
    }
    QCOMPARE(m.Params[0].Values[2], after);
    QTEST(m.CurChannel, "channelAfter");
    QCOMPARE(m.Dirty, after != before);
    QVERIFY(m.Messages.isEmpty() && m.ErrorCount == 0);

    StepUp(m, 1); // no range: nothing to step to
    QCOMPARE(m.Params[1].Values[m.CurChannel], 0);
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
    TModule m = numericModule(false);
    m.CurChannel = channel;
    TParam p;
    QVERIFY_THROWS_EXCEPTION(OrvexError, GetParam(m, index, p));
    QVERIFY_THROWS_EXCEPTION(OrvexError, SetParam(m, index, p));
    QVERIFY_THROWS_EXCEPTION(OrvexError, StepUp(m, index));
    QVERIFY_THROWS_EXCEPTION(OrvexError, StepDown(m, index));
    QVERIFY(!m.Dirty && m.ErrorCount == 3);
}

ORVEX_TEST(ParamAccessTest)
#include "ParamAccessTest.moc"
