#include "module/Parsers.h"
#include "tests/module/Wire.h"
#include "tests/support/TestMain.h"

#include <QTest>

using Rows = QList<QList<qint32>>;

class ReplyParsersTest : public QObject {
    Q_OBJECT

private slots:
    void values_data();
    void values();
    void valueRowsEndAtChannel100();
    void diagBytes_data();
    void diagBytes();
    void extDiagReport_data();
    void extDiagReport();
    void hexByte_data();
    void hexByte();
    void textReplies();
};

static TModule moduleWith(int params, int channels) {
    TModule m;
    m.Params.resize(params);
    m.ParamCount = params;
    m.ChannelCount = channels;
    m.MultiChannel = channels > 1;
    return m;
}

void ReplyParsersTest::values_data() {
    QTest::addColumn<int>("params");
    QTest::addColumn<int>("channels");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<Rows>("values"); // [channel][parameter]
    QTest::addColumn<int>("curChannel");
    QTest::addColumn<QStringList>("messages");

    const QString missing = "Missing parameters values";
    const QString exceeds = "Parameters values count exceeds limit";
    QTest::newRow("one channel") << 3 << 1 << QByteArray("0|5|1|$") << Rows{{0, 5, 1}} << 0
                                 << QStringList{};
    QTest::newRow("two channels") << 2 << 2 << QByteArray("1|7|~1|9|$") << Rows{{1, 7}, {1, 9}} << 1
                                  << QStringList{};
    QTest::newRow("CR before ETX")
        << 2 << 2 << QByteArray("1|7|~1|9|~$") << Rows{{1, 7}, {1, 9}} << 1 << QStringList{missing};
    QTest::newRow("too many values")
        << 2 << 1 << QByteArray("1|2|3|$") << Rows{{1, 2}} << 0 << QStringList{exceeds};
    QTest::newRow("too few, not a number")
        << 3 << 1 << QByteArray("-4|x|$") << Rows{{-4, 9999, 0}} << 0 << QStringList{missing};
    QTest::newRow("no channels") << 1 << 0 << QByteArray("1|$") << Rows{{0}} << 0
                                 << QStringList{exceeds, missing};
    QTest::newRow("channel beyond Values")
        << 1 << 2 << QByteArray("250|$") << Rows{{250}} << 0 << QStringList{};
}

void ReplyParsersTest::values() {
    QFETCH(int, params);
    QFETCH(int, channels);
    QFETCH(QByteArray, reply);
    QFETCH(Rows, values);
    QFETCH(QStringList, messages);
    TModule m = moduleWith(params, channels);
    ParseValues(m, rx(reply));
    for (int c = 0; c < values.size(); ++c)
        for (int k = 0; k < params; ++k)
            QCOMPARE(m.Params[k].Values[c], values[c][k]);
    QTEST(m.CurChannel, "curChannel");
    QCOMPARE(m.Messages, messages);
    QCOMPARE(m.ErrorCount, messages.size());
}

void ReplyParsersTest::valueRowsEndAtChannel100() {
    TModule m = moduleWith(1, 200);
    QByteArray reply = "0|";
    for (int c = 1; c < 100; ++c)
        reply += "~" + QByteArray::number(c) + "|";
    ParseValues(m, rx(reply + "$"));
    QCOMPARE(m.Params[0].Values[99], 99);
    QCOMPARE(m.CurChannel, 99);
    try {
        ParseValues(m, rx(reply + "~7|$"));
        QFAIL("no ParseError");
    } catch (const ParseError& e) {
        QCOMPARE(e.text(), QString("Values reply: row 101 at position %1 is past the last channel")
                               .arg(reply.size() + 3));
    }
}

void ReplyParsersTest::diagBytes_data() {
    QTest::addColumn<int>("diagCount");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QStringList>("bytes");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<bool>("fault");

    const QString zero = "   #0  0000 0000";
    QTest::newRow("00 01") << 2 << QByteArray("00|01|$") << QStringList{"00", "01"}
                           << QStringList{zero, "   #1  0000 0001"} << true;
    QTest::newRow("clear") << 1 << QByteArray("00|$") << QStringList{"00"} << QStringList{zero}
                           << false;
    QTest::newRow("lower case") << 1 << QByteArray("a5|$") << QStringList{"A5"}
                                << QStringList{"   #0  1010 0101"} << true;
    QTest::newRow("not hex") << 1 << QByteArray("z|$") << QStringList{"Z"}
                             << QStringList{"   #0   "} << true;
    QTest::newRow("too many") << 1 << QByteArray("00|00|$") << QStringList{"00"}
                              << QStringList{zero, "Diag. bytes count exceeds limit"} << false;
    QTest::newRow("too few") << 2 << QByteArray("00|$") << QStringList{"00", ""}
                             << QStringList{zero, "Missing diagnostic bytes"} << false;
    QTest::newRow("impossible count")
        << 100000 << QByteArray("01|$") << QStringList{"01"}
        << QStringList{"   #0  0000 0001", "Missing diagnostic bytes"} << true;
}

void ReplyParsersTest::diagBytes() {
    QFETCH(int, diagCount);
    QFETCH(QByteArray, reply);
    QFETCH(QStringList, lines);
    TModule m;
    m.DiagCount = diagCount;
    m.DiagFault = true;
    m.Messages << "earlier line";
    ParseDiagBytes(m, rx(reply));
    QCOMPARE(m.Messages, QStringList{"Diagnostic Bytes:"} + lines);
    QCOMPARE(m.ErrorCount, lines.last().contains(u'#') ? 0 : 1);
    QTEST(m.DiagBytes, "bytes");
    QTEST(m.DiagFault, "fault");
}

void ReplyParsersTest::extDiagReport_data() {
    QTest::addColumn<QStringList>("bytes");
    QTest::addColumn<int>("texts");
    QTest::addColumn<QStringList>("added");

    QTest::newRow("00 81") << QStringList{"00", "81"} << 16 << QStringList{"t8", "t15"};
    QTest::newRow("00 00") << QStringList{"00", "00"} << 16 << QStringList{"Diagnostic OK."};
    QTest::newRow("text missing") << QStringList{"00", "81"} << 10 << QStringList{"t8", "2", "15"};
    QTest::newRow("unreadable byte: every bit")
        << QStringList{"X1"} << 8 << QStringList{"t0", "t1", "t2", "t3", "t4", "t5", "t6", "t7"};
    QTest::newRow("fewer bytes than DiagCount") << QStringList{"02"} << 16 << QStringList{"t1"};
    QTest::newRow("byte not sent") << QStringList{"02", ""} << 16 << QStringList{"t1"};
}

void ReplyParsersTest::extDiagReport() {
    QFETCH(QStringList, bytes);
    QFETCH(int, texts);
    QFETCH(QStringList, added);
    TModule m;
    m.DiagCount = 2;
    m.DiagBytes = bytes;
    for (int t = 0; t < texts; ++t)
        m.ExtDiag << "t" + QString::number(t);
    ExtDiagReport(m);
    QVERIFY(m.Messages.isEmpty()); // nothing while the texts are not known
    m.ExtDiagValid = true;
    ExtDiagReport(m);
    QCOMPARE(m.Messages, QStringList({"", "Extended Diagnostic Info:", ""}) + added);
}

void ReplyParsersTest::hexByte_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("value");
    QTest::newRow("A5") << "A5" << 0xA5;
    QTest::newRow("09") << "09" << 9;
    QTest::newRow("first two count") << "1FX" << 0x1F;
    QTest::newRow("lower case") << "a5" << 0xFF;
    QTest::newRow("not hex") << "G1" << 0xFF;
    QTest::newRow("one digit") << "5" << 0xFF;
    QTest::newRow("not sent") << "" << 0;
}

void ReplyParsersTest::hexByte() {
    QFETCH(QString, text);
    QTEST(int(HexByte(text)), "value");
}

void ReplyParsersTest::textReplies() {
    TModule m;
    m.ExtDiagValid = true;
    ParseExtDiag(m, rx("Fan|Temp|$"));
    QCOMPARE(m.ExtDiag, QStringList({"Fan", "Temp"}));
    QVERIFY(m.ExtDiagValid);
    QVERIFY_THROWS_EXCEPTION(ParseError, ParseExtDiag(m, rx("Fan|Temp$")));
    QCOMPARE(m.ExtDiag, QStringList{"Fan"});
    QVERIFY(!m.ExtDiagValid); // half a list is not a valid one

    m.Messages = QStringList{"x"};
    ParseMessages(m, rx("m1|m2|$"));
    QCOMPARE(m.Messages, QStringList({"x", "", "m1", "m2"}));

    m.VersionText = "old";
    ParseLastLine(m, rx("$"), m.VersionText);
    QCOMPARE(m.VersionText, "old");
    ParseLastLine(m, rx("V1.0|V2.\xB0|$"), m.VersionText);
    QCOMPARE(m.VersionText.toLatin1(), "V2.\xB0");

    ParseSerial(m, rx("SN|12-3$"));
    QCOMPARE(m.SerialText, "SN12-3");

    QString kept = "kept";
    NibbleToBin(u'x', kept);
    QCOMPARE(kept, "kept");
}

ORVEX_TEST(ReplyParsersTest)
#include "ReplyParsersTest.moc"
