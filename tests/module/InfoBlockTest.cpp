#include "module/Parsers.h"
#include "tests/module/Wire.h"
#include "tests/support/TestMain.h"

#include <QTest>

class InfoBlockTest : public QObject {
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void line2_data();
    void line2();
    void raises_data();
    void raises();
    void blockMustFitIn2048Bytes();
    void secondReadKeepsValues();
};

void InfoBlockTest::parse_data() {
    QTest::addColumn<QByteArray>("block");
    QTest::addColumn<QStringList>("records");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<int>("errorCount");

    const auto row = [](const char* name, const QByteArray& line, const QString& record,
                        const QStringList& messages = {}) {
        QTest::newRow(name) << "%Tuner|P1|2|" + line + "$" << QStringList{record} << messages << 0;
    };
    row("D", "@D@|Level|-300|5|121|2|dB~", "k0 f40 n:Level m:-300 r:121 max:120 s:5 d:2 u:dB");
    row("D read-only", "@DD|Gain|0|1|10|0|~", "k1 f44 n:Gain r:10 max:9 s:1");
    row("D flag 0x04", "@D\x04|Gain|0|1|10|0|~", "k1 f40 n:Gain r:10 max:9 s:1",
        {"Parameter flags format error"});
    row("D count not a number", "@D@|L|x|9999|n|1|V~", "k0 f40 n:L d:1 u:V");
    row("D lowest count", "@D@|L|0|1|-2147483648|0|V~",
        "k0 f40 n:L r:-2147483648 max:-2147483648 s:1 u:V");
    row("S", "@S@|Channel|2|3|E^1|2|S^~",
        "k2 f40 n:Channel m:2,1 r:3,2 max:4 s:1 segs:2 names:E,S");
    row("S ranges beyond 32 bits", "@S@|C|0|2147483647|A^0|5|B^~",
        "k2 f40 n:C m:0,0 r:2147483647,5 max:2147483646 s:1 segs:2 names:A,B");
    row("E", "@E@|Mode|Auto|Manual|~", "k3 f40 n:Mode r:2 max:1 items:Auto,Manual");
    row("B hidden, Latin-1", "@BB|Sortie \xE9t\xE9~",
        QString::fromLatin1("k4 f42 n:Sortie \xE9t\xE9 r:2 max:1 s:1"));
    row("I", "@I@|Input|none|~", "k5 f40 n:Input s:1 t:none");
    row("T", "@TP|Console~", "k6 f50 n:Console s:1");

    const QString onOff = "k4 f40 n:A r:2 max:1 s:1";
    const QString notFound = "Parameter info header not found";
    const QString invalid = "Errors in module info block";
    QTest::newRow("no parameter lines")
        << QByteArray("%M|P1|2|$") << QStringList{} << QStringList{} << 0;
    QTest::newRow("missing STX") << QByteArray("M|P1|2|$") << QStringList{}
                                 << QStringList{"Bad Info Block format: missing STX", invalid} << 2;
    QTest::newRow("line 3 not a number") << QByteArray("%M|P1|x|@B@|A~$") << QStringList{"k0 f0"}
                                         << QStringList{"Bad numeric data format: x", invalid} << 2;
    QTest::newRow("line 3 is 9999") << QByteArray("%M|P1|9999|$") << QStringList{}
                                    << QStringList{"Bad numeric data format: 9999", invalid} << 2;
    QTest::newRow("header not found") << QByteArray("%M|P1|2|junk~@B@|A~$")
                                      << QStringList{"k7 f0", onOff} << QStringList{notFound} << 1;
    QTest::newRow("header search ends at ETX")
        << QByteArray("%M|P1|2|x~y~$") << QStringList{"k7 f0", "k0 f0"} << QStringList{notFound}
        << 1;
    QTest::newRow("unknown type") << QByteArray("%M|P1|2|@Q@|Foo~@B@|A~$")
                                  << QStringList{"k0 f40", "k0 f0"}
                                  << QStringList{"Can not recognise parameter type", invalid} << 2;
    QTest::newRow("hidden and shown")
        << QByteArray("%M|P1|2|@BB|A~@T@|C~$")
        << QStringList{"k4 f42 n:A r:2 max:1 s:1", "k6 f40 n:C s:1"} << QStringList{} << 0;
}

void InfoBlockTest::parse() {
    QFETCH(QByteArray, block);
    QFETCH(QStringList, records);
    TModule m;
    m.MultiChannel = true;
    ParseInfoBlock(m, rx(block));
    QStringList got;
    int visible = 0;
    for (const TParam& p : m.Params) {
        got << describe(p);
        visible += (p.Flags & FlagMarker) && !(p.Flags & FlagHidden);
    }
    QCOMPARE(got, records);
    QCOMPARE(m.ParamCount, records.size());
    QTEST(m.Messages, "messages");
    QTEST(m.ErrorCount, "errorCount");
    QCOMPARE(m.VisibleCount, visible);
    QVERIFY(!m.MultiChannel);
    QCOMPARE(m.ParseBuf, nullptr);
}

void InfoBlockTest::line2_data() {
    QTest::addColumn<QByteArray>("line2");
    QTest::addColumn<int>("infoKind");
    QTest::addColumn<int>("channels");
    QTest::newRow("P1") << QByteArray("P1") << 0 << 1;
    QTest::newRow("P4") << QByteArray("P4") << 0 << 4;
    QTest::newRow("T1") << QByteArray("T1") << 1 << 1;
    QTest::newRow("X2 keeps the kind") << QByteArray("X2") << 2 << 2;
}

void InfoBlockTest::line2() {
    QFETCH(QByteArray, line2);
    QFETCH(int, channels);
    TModule m;
    m.InfoKind = InfoImage;
    ParseInfoBlock(m, rx("%M|" + line2 + "|3|$"));
    QTEST(int(m.InfoKind), "infoKind");
    QCOMPARE(m.ChannelCount, channels);
    QCOMPARE(m.MultiChannel, channels > 1);
    QCOMPARE(m.DiagBytes.size(), 3);
    QVERIFY(m.Messages.isEmpty());
}

void InfoBlockTest::raises_data() {
    QTest::addColumn<QByteArray>("buffer");
    QTest::addColumn<QString>("error");

    const QByteArray head = "%M|P1|2|";
    QTest::newRow("line 1 runs into ETX")
        << rx("%Mod$") << "no LF found after position 1 (the reply ends at 4)";
    QTest::newRow("no ETX") << rx(head + QByteArray(3000, 'x')) << "no ETX found after position 8";
    QTest::newRow("short buffer") << wire("%Mod") << "no LF found after position 1";
    QTest::newRow("empty line 2") << rx("%M||2|$") << "line 2 at position 3 is empty";
    QTest::newRow("line 2 not strict")
        << rx("%M|P 1|2|$") << "line 2 at position 3 has no channel count: \"P 1\"";
    QTest::newRow("short header")
        << rx(head + "@D|L~$") << "parameter header at position 8 is shorter than two characters";
    QTest::newRow("field runs into ETX")
        << rx(head + "@D@|Level|1~$") << "no LF found after position 18 (the reply ends at 20)";
    QTest::newRow("S segment without ETB")
        << rx(head + "@S@|C|2|3|E^1|2|S~$")
        << "segment 2 at position 20 is one more than the ETB bytes counted";
    QTest::newRow("E text after last LF")
        << rx(head + "@E@|Mode|Auto|Man~$")
        << "item text at position 22 has no LF before the CR at 25";
    QTest::newRow("I without CR") << rx(head + "@I@|In|x|y~$")
                                  << "no CR at position 17 after an information text";
    QTest::newRow("more lines than CR")
        << rx(head + "xx@B@|A~$")
        << "parameter line at position 10 is beyond the 1 lines ended by CR";
}

void InfoBlockTest::raises() {
    QFETCH(QByteArray, buffer);
    QFETCH(QString, error);
    TModule m;
    try {
        ParseInfoBlock(m, buffer);
        QFAIL("no ParseError");
    } catch (const ParseError& e) {
        QCOMPARE(e.text(), "Info block: " + error);
    }
    // what was read before the error stays in the record
    QCOMPARE(m.TypeName, buffer.startsWith(wire("%M|")) ? "M" : "");
    QCOMPARE(m.ParseBuf, nullptr);
}

void InfoBlockTest::blockMustFitIn2048Bytes() {
    const QByteArray head = "%M|P1|2|@T@|";
    TModule m;
    // a name that puts the closing ETX at index 2047, then one byte further
    ParseInfoBlock(m, rx(head + QByteArray(2047 - head.size() - 1, 'n') + "~$"));
    QCOMPARE(m.Params[0].Name.size(), 2034);
    QVERIFY_THROWS_EXCEPTION(ParseError,
                             ParseInfoBlock(m, rx(head + QByteArray(2035, 'n') + "~$")));
}

void InfoBlockTest::secondReadKeepsValues() {
    TModule m;
    ParseInfoBlock(m, rx("%M|P2|0|@B@|A~@D@|L|0|1|10|0|dB~$"));
    m.Params[0].Values[1] = 1;
    m.Params[1].Values[0] = 7;
    ParseInfoBlock(m, rx("%M|P2|0|@B@|A~@D@|L|0|1|20|0|dB~@T@|C~$"));
    QCOMPARE(m.ParamCount, 3);
    QCOMPARE(m.Params[0].Values[1], 1);
    QCOMPARE(m.Params[1].Values[0], 7);
    QCOMPARE(m.Params[1].MaxValue, 19);
}

ORVEX_TEST(InfoBlockTest)
#include "InfoBlockTest.moc"
