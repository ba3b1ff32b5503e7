// The module records: the info block and reply parsers (on a receive buffer as the link
// leaves it), the parameter access routines, and what a raw value looks like.
#include "module/Display.h"
#include "module/ParamAccess.h"
#include "module/Parsers.h"
#include "tests/module/Wire.h"
#include "tests/support/TestMain.h"

#include <QtTest>

Q_DECLARE_METATYPE(TParam)
using Rows = QList<QList<qint32>>;

namespace {
// A parameter record in one line: kind, flags (hex), then the fields that are set.
QString describe(const TParam& p) {
    const auto ints = [](const QVector<qint32>& list) {
        QStringList texts;
        for (qint32 n : list)
            texts << QString::number(n);
        return texts.join(u',');
    };
    QStringList values;
    values << p.Name << ints(p.Mins) << ints(p.Ranges) << QString::number(p.MaxValue)
           << QString::number(p.Step) << QString::number(p.Decimals) << QString::number(p.SegCount)
           << p.Units << p.SegNames.join(u',') << p.Items.join(u',') << p.Text;
    const char* keys[] = {"n", "m", "r", "max", "s", "d", "segs", "u", "names", "items", "t"};
    QString out = QStringLiteral("k%1 f%2").arg(p.Kind).arg(p.Flags, 0, 16);
    for (int i = 0; i < values.size(); ++i)
        if (!values[i].isEmpty() && values[i] != QLatin1String("0"))
            out += QStringLiteral(" %1:%2").arg(QLatin1String(keys[i]), values[i]);
    return out;
}

// The parameter that one line of an info block describes.
TParam param(const QByteArray& line) {
    TModule m;
    ParseInfoBlock(m, rx("%M|P1|2|" + line + "$"));
    return m.Params.value(0);
}

// Parameters (params) of one channel row each (channels); parameter 0 has 121 raw values.
TModule moduleWith(int params, int channels) {
    TModule m;
    m.Params.resize(params);
    m.ParamCount = params;
    m.ChannelCount = channels;
    m.MultiChannel = channels > 1;
    m.Params[0].Ranges = {121};
    m.Params[0].MaxValue = 120;
    return m;
}
} // namespace

class ModuleTest : public QObject {
    Q_OBJECT
private slots:
    // The records an info block gives, and what the module is told of its faults. Malformed
    // blocks end in our exception; what was read before stays in the record.
    void infoBlock_data() {
        QTest::addColumn<QByteArray>("block");
        QTest::addColumn<QStringList>("records");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QString>("error");
        const auto row = [](const char* name, const QByteArray& line, const QString& record,
                            const QStringList& messages = {}) {
            QTest::newRow(name) << "%Tuner|P1|2|" + line + "$" << QStringList{record} << messages
                                << QString();
        };
        row("D", "@D@|Level|-300|5|121|2|dB~", "k0 f40 n:Level m:-300 r:121 max:120 s:5 d:2 u:dB");
        row("D flag 0x04", "@D\x04|Gain|0|1|10|0|~", "k1 f40 n:Gain r:10 max:9 s:1",
            {"Parameter flags format error"});
        row("S", "@S@|Channel|2|3|E^1|2|S^~",
            "k2 f40 n:Channel m:2,1 r:3,2 max:4 s:1 segs:2 names:E,S");
        row("E", "@E@|Mode|Auto|Manual|~", "k3 f40 n:Mode r:2 max:1 items:Auto,Manual");
        row("B hidden, Latin-1", "@BB|Sortie \xE9t\xE9~",
            QString::fromLatin1("k4 f42 n:Sortie \xE9t\xE9 r:2 max:1 s:1"));
        row("I", "@I@|Input|none|~", "k5 f40 n:Input s:1 t:none");
        row("T", "@TP|Console~", "k6 f50 n:Console s:1");
        const QString onOff = "k4 f40 n:A r:2 max:1 s:1", invalid = "Errors in module info block";
        const auto block = [](const char* name, const QByteArray& text, const QStringList& records,
                              const QStringList& messages, const char* error = "") {
            QTest::newRow(name) << text << records << messages << QString(error);
        };
        block("missing STX", "M|P1|2|$", {}, {"Bad Info Block format: missing STX", invalid});
        block("line 3 not a number", "%M|P1|x|@B@|A~$", {"k0 f0"},
              {"Bad numeric data format: x", invalid});
        block("line 3 is 9999", "%M|P1|9999|$", {}, {"Bad numeric data format: 9999", invalid});
        block("header not found", "%M|P1|2|junk~@B@|A~$", {"k7 f0", onOff},
              {"Parameter info header not found"});
        block("unknown type", "%M|P1|2|@Q@|Foo~@B@|A~$", {"k0 f40", "k0 f0"},
              {"Can not recognise parameter type", invalid});
        const QByteArray head = "%M|P1|2|";
        block("line 1 runs into ETX", "%Mod$", {}, {},
              "no LF found after position 1 (the reply ends at 4)");
        block("no ETX", head + QByteArray(3000, 'x'), {}, {}, "no ETX found after position 8");
        block("empty line 2", "%M||2|$", {}, {}, "line 2 at position 3 is empty");
        block("short header", head + "@D|L~$", {}, {},
              "parameter header at position 8 is shorter than two characters");
        block("E text after the last LF", head + "@E@|Mode|Auto|Man~$", {}, {},
              "item text at position 22 has no LF before the CR at 25");
        block("I without CR", head + "@I@|In|x|y~$", {}, {},
              "no CR at position 17 after an information text");
        block("S segment without ETB", head + "@S@|C|2|3|E^1|2|S~$", {}, {},
              "segment 2 at position 20 is one more than the ETB bytes counted");
        block("more lines than CR", head + "xx@B@|A~$", {}, {},
              "parameter line at position 10 is beyond the 1 lines ended by CR");
    }
    void infoBlock() {
        QFETCH(QByteArray, block);
        QFETCH(QStringList, records);
        QFETCH(QStringList, messages);
        QFETCH(QString, error);
        TModule m;
        m.MultiChannel = true;
        QString raised;
        try {
            ParseInfoBlock(m, rx(block));
        } catch (const ParseError& e) {
            raised = e.text();
        }
        QCOMPARE(raised, error.isEmpty() ? error : "Info block: " + error);
        QCOMPARE(m.ParseBuf, nullptr);
        if (!error.isEmpty()) {
            QCOMPARE(m.TypeName, block.startsWith("%M|") ? "M" : "");
            return;
        }
        QStringList got;
        int visible = 0;
        for (const TParam& p : m.Params) {
            got << describe(p);
            visible += (p.Flags & FlagMarker) && !(p.Flags & FlagHidden);
        }
        QCOMPARE(got, records);
        QCOMPARE(m.ParamCount, records.size());
        QCOMPARE(m.Messages, messages);
        // A flag byte without its marker bit is noted, not counted as an error.
        QCOMPARE(m.ErrorCount, messages.size() - messages.count("Parameter flags format error"));
        QCOMPARE(m.VisibleCount, visible);
        QVERIFY(!m.MultiChannel);
    }

    void infoBlockLimits() {
        // The closing ETX must lie inside the 2048 bytes given: index 2047 is the last.
        const QByteArray head = "%M|P1|2|@T@|";
        TModule m;
        ParseInfoBlock(m, rx(head + QByteArray(2034, 'n') + "~$"));
        QCOMPARE(m.Params[0].Name.size(), 2034);
        QVERIFY_THROWS_EXCEPTION(ParseError,
                                 ParseInfoBlock(m, rx(head + QByteArray(2035, 'n') + "~$")));
        // A second read keeps the values of the parameters that stay.
        ParseInfoBlock(m, rx("%M|P2|0|@B@|A~@D@|L|0|1|10|0|dB~$"));
        m.Params[0].Values[1] = 1;
        m.Params[1].Values[0] = 7;
        ParseInfoBlock(m, rx("%M|P2|0|@B@|A~@D@|L|0|1|20|0|dB~@T@|C~$"));
        QCOMPARE(m.ParamCount, 3);
        QCOMPARE(m.Params[0].Values[1], 1);
        QCOMPARE(m.Params[1].Values[0], 7);
        QCOMPARE(m.Params[1].MaxValue, 19);
    }

    void values_data() {
        QTest::addColumn<int>("params");
        QTest::addColumn<int>("channels");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<Rows>("values"); // [channel][parameter]
        QTest::addColumn<int>("curChannel");
        QTest::addColumn<QStringList>("messages");
        const auto row = [](const char* name, int params, int channels, const char* reply,
                            const Rows& values, int cur, const QStringList& messages = {}) {
            QTest::newRow(name) << params << channels << QByteArray(reply) << values << cur
                                << messages;
        };
        const QString missing = "Missing parameters values";
        row("one channel", 3, 1, "0|5|1|$", {{0, 5, 1}}, 0);
        row("two channels", 2, 2, "1|7|~1|9|$", {{1, 7}, {1, 9}}, 1);
        row("CR before ETX", 2, 2, "1|7|~1|9|~$", {{1, 7}, {1, 9}}, 1, {missing});
        row("no channels", 1, 0, "1|$", {{0}}, 0,
            {"Parameters values count exceeds limit", missing});
    }
    void values() {
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

    // The diagnostic bytes as the report shows them, then, once the extended texts are known,
    // the texts of their set bits (none set: "Diagnostic OK.").
    void diagnostics_data() {
        QTest::addColumn<int>("diagCount");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QStringList>("lines"); // after "Diagnostic Bytes:"
        QTest::addColumn<bool>("fault");
        QTest::addColumn<QStringList>("texts"); // after the heading of the extended texts
        const auto row = [](const char* name, int count, const char* reply,
                            const QStringList& lines, bool fault, const QStringList& texts) {
            QTest::newRow(name) << count << QByteArray(reply) << lines << fault << texts;
        };
        const QString zero = "   #0  0000 0000";
        row("lower case", 1, "a5|$", {"   #0  1010 0101"}, true, {"t0", "t2", "t5", "t7"});
        row("second byte", 2, "00|81|$", {zero, "   #1  1000 0001"}, true, {"t8", "t15"});
        row("too many", 1, "00|00|$", {zero, "Diag. bytes count exceeds limit"}, false,
            {"Diagnostic OK."});
        row("too few", 2, "00|$", {zero, "Missing diagnostic bytes"}, true, {});
        row("unreadable byte: every bit", 1, "X1|$", {"   #0   0001"}, true,
            {"t0", "t1", "t2", "t3", "t4", "t5", "t6", "t7"});
    }
    void diagnostics() {
        QFETCH(int, diagCount);
        QFETCH(QByteArray, reply);
        QFETCH(QStringList, lines);
        TModule m;
        m.DiagCount = diagCount;
        m.DiagFault = true;
        m.Messages << "earlier line";
        for (int t = 0; t < 16; ++t)
            m.ExtDiag << "t" + QString::number(t);
        ParseDiagBytes(m, rx(reply));
        QCOMPARE(m.Messages, QStringList{"Diagnostic Bytes:"} + lines);
        QCOMPARE(m.ErrorCount, lines.last().contains(u'#') ? 0 : 1);
        QTEST(m.DiagFault, "fault");
        ExtDiagReport(m); // nothing while the texts are not known
        QCOMPARE(m.Messages.size(), lines.size() + 1);
        m.ExtDiagValid = true;
        ExtDiagReport(m);
        QTEST(m.Messages.mid(lines.size() + 4), "texts");
        QCOMPARE(m.Messages.mid(lines.size() + 1, 3),
                 QStringList({"", "Extended Diagnostic Info:", ""}));
    }

    void textReplies() {
        TModule m;
        ParseExtDiag(m, rx("Fan|Temp|$"));
        QCOMPARE(m.ExtDiag, QStringList({"Fan", "Temp"}));
        QVERIFY(m.ExtDiagValid);
        QVERIFY_THROWS_EXCEPTION(ParseError, ParseExtDiag(m, rx("Fan|Temp$")));
        QCOMPARE(m.ExtDiag, QStringList{"Fan"});
        QVERIFY(!m.ExtDiagValid);        // half a list is not a valid one
        TModule wide = moduleWith(1, 2); // one row more than any module has channels
        QVERIFY_THROWS_EXCEPTION(ParseError,
                                 ParseValues(wide, rx(QByteArray("0|~").repeated(100) + "7|$")));
        ParseLastLine(m, rx("V1.0|V2.\xB0|$"), m.VersionText);
        QCOMPARE(m.VersionText.toLatin1(), "V2.\xB0");
    }

    void change_data() {
        QTest::addColumn<QString>("op");
        QTest::addColumn<bool>("multi");
        QTest::addColumn<int>("before");
        QTest::addColumn<int>("after");
        QTest::newRow("up") << "up" << false << 5 << 6;
        QTest::newRow("channel selector up") << "up" << true << 2 << 3;
        QTest::newRow("set MaxValue") << "set 120" << false << 0 << 120;
    }
    void change() {
        QFETCH(QString, op);
        QFETCH(bool, multi);
        QFETCH(int, before);
        QFETCH(int, after);
        TModule m = moduleWith(2, 1);
        m.MultiChannel = multi;
        m.CurChannel = 2;
        m.Messages << "old";
        m.ErrorCount = 3;
        m.Params[0].Values[2] = before;
        if (op == "up") {
            StepUp(m, 0);
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
        QCOMPARE(m.CurChannel, 2); // the selector's value changes, not the current channel
        QCOMPARE(m.Dirty, after != before);
        QVERIFY(m.Messages.isEmpty() && m.ErrorCount == 0);
        StepUp(m, 1); // no range: nothing to step to
        QCOMPARE(m.Params[1].Values[m.CurChannel], 0);
        QVERIFY_THROWS_EXCEPTION(OrvexError, StepDown(m, 2)); // no such parameter
    }

    void shown_data() {
        QTest::addColumn<TParam>("param");
        QTest::addColumn<int>("raw");
        QTest::addColumn<QString>("shown");
        const TParam band = param("@E@|Band|Auto|Manual|~");
        QTest::newRow("two decimals") << param("@D@|Level|-300|5|121|2|dB~") << 60 << "0.00";
        QTest::newRow("segmented") << param("@S@|Band|2|3|E^1|2|S^0|1|X^~") << 3 << "S1";
        QTest::newRow("enumerated") << band << 1 << "Manual";
        QTest::newRow("no such entry") << band << 2 << "";
        QTest::newRow("error entry") << param("junk~") << 0 << "ERROR";
    }
    void shown() {
        QFETCH(TParam, param);
        QFETCH(int, raw);
        QTEST(ParamDisplay::shownValue(param, raw), "shown");
    }

    // A typed number: truncated to a raw value, or refused with the panel's message.
    void typed_data() {
        QTest::addColumn<TParam>("param");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<int>("raw");
        QTest::addColumn<QString>("message");
        const int ok = ParamDisplay::TypedEntry::Accepted,
                  out = ParamDisplay::TypedEntry::OutOfRange;
        const TParam whole = param("@D@|Level|70|1|41|0|dB~");
        const TParam tenths = param("@D@|Level|470|5|10|1|MHz~");
        const QString wholeRange = QStringLiteral("Level must be between 70 and 110 dB");
        QTest::newRow("truncated") << whole << "110.9" << ok << 40 << "";
        QTest::newRow("beyond 32 bits") << whole << "1e20" << out << 0 << wholeRange;
        QTest::newRow("not a number") << whole << "12a" << int(ParamDisplay::TypedEntry::NotANumber)
                                      << 0 << "'12a' is not a valid floating point value";
        QTest::newRow("bound without trailing zero")
            << tenths << "46.9" << out << 0 << "Level must be between 47 and 51.5 MHz";
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
};

ORVEX_TEST(ModuleTest)
#include "module.moc"
