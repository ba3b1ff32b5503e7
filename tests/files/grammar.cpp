#include "files/FileFormat.h"
#include "files/LoadSteps.h"
#include "module/Module.h"
#include "tests/support/TestMain.h"

#include <QtTest>

// The line grammar: how the reader splits a file and its fields, how the writer builds value
// lines, and which files the check refuses before anything is sent.
class GrammarTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void splitLines_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QByteArrayList>("lines");
        QTest::newRow("CR LF") << QByteArray("MOD\r\n0 1 1\r\n") << QByteArrayList{"MOD", "0 1 1"};
        QTest::newRow("last line unended")
            << QByteArray("MOD\r\nMODEND") << QByteArrayList{"MOD", "MODEND"};
        QTest::newRow("lone LF belongs to the line")
            << QByteArray("A\nB\r\nC") << QByteArrayList{"A\nB", "C"};
        QTest::newRow("CR alone ends a line") << QByteArray("A\rB\r") << QByteArrayList{"A", "B"};
        QTest::newRow("one LF skipped, the next kept")
            << QByteArray("A\r\n\nB\r\n") << QByteArrayList{"A", "\nB"};
        QTest::newRow("CR CR gives an empty line")
            << QByteArray("A\r\r\nB\r\n") << QByteArrayList{"A", "", "B"};
        QTest::newRow("Ctrl-Z ends the file")
            << QByteArray("A\r\nB\x1A\r\nC\r\n") << QByteArrayList{"A", "B"};
        QTest::newRow("Ctrl-Z first") << QByteArray("\x1A"
                                                    "A\r\n")
                                      << QByteArrayList{};
        QTest::newRow("8-bit text") << QByteArray("Typ\xE9\r\n") << QByteArrayList{"Typ\xE9"};
    }
    void splitLines() {
        QFETCH(QByteArray, content);
        QTEST(FileFormat::splitLines(content), "lines");
    }

    void nextField_data() {
        QTest::addColumn<int>("pos");
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QByteArray>("field");
        QTest::addColumn<int>("next");
        QTest::newRow("first of three") << 1 << QByteArray("12 0 250") << QByteArray("12") << 4;
        QTest::newRow("middle") << 4 << QByteArray("12 0 250") << QByteArray("0") << 6;
        QTest::newRow("last, no separator")
            << 6 << QByteArray("12 0 250") << QByteArray("250") << -1;
        QTest::newRow("trailing separator ends")
            << 6 << QByteArray("12 0 250 ") << QByteArray("250") << -1;
        QTest::newRow("two spaces: empty field") << 3 << QByteArray("5  7") << QByteArray("") << 4;
        QTest::newRow("position below 1") << 0 << QByteArray("5 7") << QByteArray("") << -1;
        QTest::newRow("position past the end") << 5 << QByteArray("5 7") << QByteArray("") << -1;
    }
    void nextField() {
        QFETCH(int, pos);
        QFETCH(QByteArray, line);
        QByteArray field = "stale";
        QTEST(FileFormat::NextField(pos, ' ', line, field), "next");
        QTEST(field, "field");
    }

    void numericLines_data() {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("values"); // the value fields, or "-" when not a value line
        QTest::addColumn<bool>("header");    // three integer fields
        QTest::newRow("writer's form") << QByteArray("12 0 250 ") << "12,0,250" << true;
        QTest::newRow("two fields") << QByteArray("5 7") << "5,7" << false;
        QTest::newRow("one field") << QByteArray("5") << "5" << false;
        QTest::newRow("four fields") << QByteArray("0 3 1 9") << "0,3,1,9" << true;
        QTest::newRow("negative and signed") << QByteArray("-5 +7 0") << "-5,7,0" << true;
        QTest::newRow("32-bit limits")
            << QByteArray("-2147483648 2147483647 0") << "-2147483648,2147483647,0" << true;
        QTest::newRow("too big") << QByteArray("2147483648 0 0") << "-" << false;
        QTest::newRow("letter") << QByteArray("12 x 250") << "-" << false;
        QTest::newRow("two spaces") << QByteArray("12  0 250") << "-" << false;
        QTest::newRow("leading space") << QByteArray(" 12 0 1") << "-" << false;
        QTest::newRow("single space") << QByteArray(" ") << "-" << false;
        QTest::newRow("tab") << QByteArray("1\t2 3") << "-" << false;
        QTest::newRow("hex") << QByteArray("$1F 0 1") << "-" << false;
    }
    void numericLines() {
        QFETCH(QByteArray, line);
        const auto values = FileFormat::valueFields(line);
        QStringList text;
        for (qint32 v : values.value_or(QVector<qint32>{}))
            text << QString::number(v);
        QTEST(values ? text.join(',') : QStringLiteral("-"), "values");
        QTEST(FileFormat::headerFields(line).has_value(), "header");
    }

    void valueLines_data() {
        QTest::addColumn<int>("channels");
        QTest::addColumn<QVector<QVector<qint32>>>("values"); // [param][channel]
        QTest::addColumn<QByteArrayList>("lines");
        QTest::newRow("one channel")
            << 1 << QVector<QVector<qint32>>{{12}, {0}, {250}} << QByteArrayList{"12 0 250 "};
        QTest::newRow("first value 12 on channel 0 is written 02")
            << 2 << QVector<QVector<qint32>>{{12, 1}, {15, 20}}
            << QByteArrayList{"02 15 ", "1 20 "};
        QTest::newRow("selector replaced by the channel digit")
            << 3 << QVector<QVector<qint32>>{{7, 7, 7}, {-1, 2, 3}}
            << QByteArrayList{"0 -1 ", "1 2 ", "2 3 "};
        QTest::newRow("negative selector keeps its digits")
            << 2 << QVector<QVector<qint32>>{{-5, -5}} << QByteArrayList{"05 ", "15 "};
    }
    void valueLines() {
        QFETCH(int, channels);
        QFETCH(QVector<QVector<qint32>>, values);
        TModule m;
        m.ChannelCount = channels;
        m.ParamCount = int(values.size());
        for (const auto& perChannel : values) {
            TParam p;
            for (int k = 0; k < perChannel.size(); ++k)
                p.Values[k] = perChannel[k];
            m.Params << p;
        }
        QByteArrayList lines;
        for (int k = 0; k < channels; ++k)
            lines << FileFormat::valueLine(m, k);
        QTEST(lines, "lines");
    }

    void check_data() {
        QTest::addColumn<QByteArrayList>("lines");
        QTest::addColumn<bool>("wholeConfig");
        QTest::addColumn<int>("firstError");
        const QByteArrayList block{"MOD",   "0 3 1",     "TESTMOD", "V1.00",
                                   "PARAM", "12 0 250 ", "MODEND"};
        QTest::newRow("example") << block << false << -1;
        QTest::newRow("comments only") << QByteArrayList{";a", ";b"} << true << -1;
        QTest::newRow("nothing") << QByteArrayList{} << true << -1;
        QTest::newRow("text outside blocks")
            << (QByteArrayList{"hello 1 x"} + block + QByteArrayList{"x y"}) << true << -1;
        QTest::newRow("empty line anywhere") << QByteArrayList{";a", "", "MOD"} << true << 1;
        QByteArrayList letter = block;
        letter[5] = "12 x 250 ";
        QTest::newRow("letter in a value line") << letter << true << 5;
        QByteArrayList twoFields = block;
        twoFields[1] = "0 3";
        QTest::newRow("address of two fields") << twoFields << false << 1;
        QByteArrayList later = block + block;
        later[12] = "1  2";
        QTest::newRow("error in the second block") << later << true << 12;
        // Only a module of another type takes this way: its block ends at the type line and
        // the version line "MOD" opens a block whose address line is "PARAM".
        QByteArrayList other = block;
        other[3] = "MOD";
        QTest::newRow("fails on a mismatch only") << other << true << 4;
        QByteArrayList image{"MOD", "1 4 1", "T", "V", "EEPROM", "ERROR -2", "0011", "MODEND"};
        QTest::newRow("image lines are text") << image << true << -1;
        QByteArrayList comment = block;
        comment.insert(5, ";inside");
        QTest::newRow("comment inside a block") << comment << true << -1;
    }
    void check() {
        QFETCH(QByteArrayList, lines);
        QFETCH(bool, wholeConfig);
        QTEST(LoadSteps::firstFileError(lines, wholeConfig), "firstError");
    }
};

ORVEX_TEST(GrammarTest)
#include "grammar.moc"
