#include "module/Parsers.h"
#include "tests/module/Wire.h"

#include <QTest>
#include <limits>

using Ints = QList<qint32>;

class InfoBlockTest : public QObject {
    Q_OBJECT

private slots:
    void kinds_data();
    void kinds();
    void failures_data();
    void failures();
    void line2_data();
    void line2();
    void raises_data();
    void raises();
    void blockMustFitIn2048Bytes();
    void secondReadKeepsValues();
};

void InfoBlockTest::kinds_data() {
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("flags");
    QTest::addColumn<QString>("name");
    QTest::addColumn<Ints>("mins");
    QTest::addColumn<Ints>("ranges");
    QTest::addColumn<int>("maxValue");
    QTest::addColumn<QStringList>("texts"); // Units / SegNames / Items / Text, by kind
    QTest::addColumn<QStringList>("messages");

    const QStringList none;
    QTest::newRow("D") << QByteArray("@D@|Level|-300|5|121|2|dB~") << 0 << 0x40 << "Level"
                       << Ints{-300} << Ints{121} << 120 << QStringList{"dB"} << none;
    QTest::newRow("D read-only") << QByteArray("@DD|Gain|0|1|10|0|~") << 1 << 0x44 << "Gain"
                                 << Ints{0} << Ints{10} << 9 << QStringList{""} << none;
    QTest::newRow("D flag 0x04") << QByteArray("@D\x04|Gain|0|1|10|0|~") << 1 << 0x40 << "Gain"
                                 << Ints{0} << Ints{10} << 9 << QStringList{""}
                                 << QStringList{"Parameter flags format error"};
    QTest::newRow("D count not a number") << QByteArray("@D@|L|x|9999|n|1|V~") << 0 << 0x40 << "L"
                                          << Ints{0} << Ints{0} << 0 << QStringList{"V"} << none;
    QTest::newRow("D lowest count") << QByteArray("@D@|L|0|1|-2147483648|0|V~") << 0 << 0x40 << "L"
                                    << Ints{0} << Ints{std::numeric_limits<int>::min()}
                                    << std::numeric_limits<int>::min() << QStringList{"V"} << none;
    QTest::newRow("S") << QByteArray("@S@|Channel|2|3|E^1|2|S^~") << 2 << 0x40 << "Channel"
                       << Ints{2, 1} << Ints{3, 2} << 4 << QStringList{"E", "S"} << none;
    QTest::newRow("S ranges beyond 32 bits")
        << QByteArray("@S@|C|0|2147483647|A^0|5|B^~") << 2 << 0x40 << "C" << Ints{0, 0}
        << Ints{2147483647, 5} << 2147483646 << QStringList{"A", "B"} << none;
    QTest::newRow("E") << QByteArray("@E@|Mode|Auto|Manual|~") << 3 << 0x40 << "Mode" << Ints{0}
                       << Ints{2} << 1 << QStringList{"Auto", "Manual"} << none;
    QTest::newRow("B hidden, Latin-1 name") << QByteArray("@BB|Sortie \xE9t\xE9~") << 4 << 0x42
                                            << QString::fromLatin1("Sortie \xE9t\xE9") << Ints{0}
                                            << Ints{2} << 1 << QStringList{} << none;
    QTest::newRow("I") << QByteArray("@I@|Input|none|~") << 5 << 0x40 << "Input" << Ints{0}
                       << Ints{0} << 0 << QStringList{"none"} << none;
    QTest::newRow("T") << QByteArray("@TP|Console~") << 6 << 0x50 << "Console" << Ints{0} << Ints{0}
                       << 0 << QStringList{} << none;
}

void InfoBlockTest::kinds() {
    QFETCH(QByteArray, line);
    QFETCH(int, kind);
    TModule m;
    ParseInfoBlock(m, rx("%Tuner|P1|2|" + line + "$"));
    QCOMPARE(m.ParamCount, 1);
    const TParam& p = m.Params[0];
    QCOMPARE(p.Kind, kind);
    QTEST(int(p.Flags), "flags");
    QTEST(p.Name, "name");
    QTEST(Ints(p.Mins.begin(), p.Mins.end()), "mins");
    QTEST(Ints(p.Ranges.begin(), p.Ranges.end()), "ranges");
    QTEST(p.MaxValue, "maxValue");
    const QStringList texts = kind < 2    ? QStringList{p.Units}
                              : kind == 2 ? p.SegNames
                              : kind == 3 ? p.Items
                              : kind == 5 ? QStringList{p.Text}
                                          : QStringList{};
    QTEST(texts, "texts");
    QTEST(m.Messages, "messages");
    QCOMPARE(m.ErrorCount, 0);
    QCOMPARE(m.VisibleCount, p.Flags & FlagHidden ? 0 : 1);
    if (kind == KindNumeric && p.Mins[0] == -300)
        QVERIFY(p.Step == 5 && p.Decimals == 2);
    if (kind == KindSegmented)
        QVERIFY(p.SegCount == 2 && p.Step == 1);
    QCOMPARE(m.TypeName.toLatin1(), QByteArray("Tuner"));
}

void InfoBlockTest::failures_data() {
    QTest::addColumn<QByteArray>("block");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<int>("errorCount");
    QTest::addColumn<Ints>("kinds");
    QTest::addColumn<int>("visible");

    const QString invalid = "Errors in module info block";
    QTest::newRow("no parameter lines")
        << QByteArray("%M|P1|2|$") << QStringList{} << 0 << Ints{} << 0;
    QTest::newRow("missing STX") << QByteArray("M|P1|2|$")
                                 << QStringList{"Bad Info Block format: missing STX", invalid} << 2
                                 << Ints{} << 0;
    QTest::newRow("line 3 not a number")
        << QByteArray("%M|P1|x|@B@|A~$") << QStringList{"Bad numeric data format: x", invalid} << 2
        << Ints{0} << 0;
    QTest::newRow("line 3 is 9999")
        << QByteArray("%M|P1|9999|$") << QStringList{"Bad numeric data format: 9999", invalid} << 2
        << Ints{} << 0;
    QTest::newRow("header not found")
        << QByteArray("%M|P1|2|junk~@B@|A~$") << QStringList{"Parameter info header not found"} << 1
        << Ints{7, 4} << 1;
    QTest::newRow("header search ends at ETX")
        << QByteArray("%M|P1|2|x~y~$") << QStringList{"Parameter info header not found"} << 1
        << Ints{7, 0} << 0;
    QTest::newRow("unknown type") << QByteArray("%M|P1|2|@Q@|Foo~@B@|A~$")
                                  << QStringList{"Can not recognise parameter type", invalid} << 2
                                  << Ints{0, 0} << 1;
    QTest::newRow("hidden one of two")
        << QByteArray("%M|P1|2|@BB|A~@T@|C~$") << QStringList{} << 0 << Ints{4, 6} << 1;
}

void InfoBlockTest::failures() {
    QFETCH(QByteArray, block);
    QFETCH(Ints, kinds);
    TModule m;
    m.MultiChannel = true;
    ParseInfoBlock(m, rx(block));
    QTEST(m.Messages, "messages");
    QTEST(m.ErrorCount, "errorCount");
    QCOMPARE(m.ParamCount, kinds.size());
    QCOMPARE(m.Params.size(), kinds.size());
    for (int i = 0; i < kinds.size(); ++i)
        QCOMPARE(int(m.Params[i].Kind), kinds[i]);
    QTEST(m.VisibleCount, "visible");
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
    QTest::newRow("U2") << QByteArray("U2") << 2 << 2;
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
    QCOMPARE(m.DiagCount, 3);
    QCOMPARE(m.DiagBytes.size(), 3);
    QVERIFY(m.Messages.isEmpty());
}

void InfoBlockTest::raises_data() {
    QTest::addColumn<QByteArray>("buffer");
    QTest::addColumn<QString>("error");

    const QByteArray head = "%M|P1|2|";
    QTest::newRow("line 1 runs into ETX")
        << rx("%Mod$") << "Info block: no LF found after position 1 (the reply ends at 4)";
    QTest::newRow("no ETX") << rx(head + QByteArray(3000, 'x'))
                            << "Info block: no ETX found after position 8";
    QTest::newRow("short buffer") << wire("%Mod") << "Info block: no LF found after position 1";
    QTest::newRow("empty line 2") << rx("%M||2|$") << "Info block: line 2 at position 3 is empty";
    QTest::newRow("line 2 without number")
        << rx("%M|P|2|$") << "Info block: line 2 at position 3 has no channel count: \"P\"";
    QTest::newRow("line 2 not strict")
        << rx("%M|P 1|2|$") << "Info block: line 2 at position 3 has no channel count: \"P 1\"";
    QTest::newRow("short header")
        << rx(head + "@D|L~$")
        << "Info block: parameter header at position 8 is shorter than two characters";
    QTest::newRow("field runs into ETX")
        << rx(head + "@D@|Level|1~$")
        << "Info block: no LF found after position 18 (the reply ends at 20)";
    QTest::newRow("S segment without ETB")
        << rx(head + "@S@|C|2|3|E^1|2|S~$")
        << "Info block: segment 2 at position 20 is one more than the ETB bytes counted";
    QTest::newRow("E text after last LF")
        << rx(head + "@E@|Mode|Auto|Man~$")
        << "Info block: item text at position 22 has no LF before the CR at 25";
    QTest::newRow("I without CR") << rx(head + "@I@|In|x|y~$")
                                  << "Info block: no CR at position 17 after an information text";
    QTest::newRow("more lines than CR")
        << rx(head + "xx@B@|A~$")
        << "Info block: parameter line at position 10 is beyond the 1 lines ended by CR";
}

void InfoBlockTest::raises() {
    QFETCH(QByteArray, buffer);
    QFETCH(QString, error);
    TModule m;
    try {
        ParseInfoBlock(m, buffer);
        QFAIL("no ParseError");
    } catch (const ParseError& e) {
        QCOMPARE(e.text(), error);
    }
    // what was read before the error stays in the record
    QCOMPARE(m.TypeName, buffer.startsWith(wire("%M|")) ? "M" : "");
    QCOMPARE(m.ParseBuf, nullptr);
}

void InfoBlockTest::blockMustFitIn2048Bytes() {
    const QByteArray head = "%M|P1|2|@T@|";
    for (int etxAt : {2047, 2048}) {
        // name fills up to the CR just before the ETX
        QByteArray block = head + QByteArray(etxAt - head.size() - 1, 'n') + "~$";
        TModule m;
        if (etxAt == 2047) {
            ParseInfoBlock(m, rx(block));
            QCOMPARE(m.Params[0].Name.size(), etxAt - head.size() - 1);
        } else {
            QVERIFY_THROWS_EXCEPTION(ParseError, ParseInfoBlock(m, rx(block)));
        }
    }
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
    QCOMPARE(m.Params[2].Values[0], 0);
}

QTEST_GUILESS_MAIN(InfoBlockTest)
#include "InfoBlockTest.moc"
