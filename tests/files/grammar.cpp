// The line grammar of the files: how the reader splits a file and its fields, how the writer
// builds value lines, and which files the check refuses before anything is sent.
#include "files/FileFormat.h"
#include "files/LoadSteps.h"
#include "tests/support/TestMain.h"

#include <QtTest>

class GrammarTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void splitLines_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QByteArray>("lines"); // joined with "/"
        QTest::newRow("last line unended")
            << QByteArray("MOD\r\nMODEND") << QByteArray("MOD/MODEND");
        QTest::newRow("lone LF belongs to the line")
            << QByteArray("A\nB\r\nC") << QByteArray("A\nB/C");
        QTest::newRow("one LF skipped, the next kept")
            << QByteArray("A\r\n\nB\r\n") << QByteArray("A/\nB");
        QTest::newRow("CR CR gives an empty line")
            << QByteArray("A\r\r\nB\r\n") << QByteArray("A//B");
        QTest::newRow("Ctrl-Z ends the file")
            << QByteArray("A\r\nB\x1A\r\nC\r\n") << QByteArray("A/B");
    }
    void splitLines() {
        QFETCH(QByteArray, content);
        QTEST(FileFormat::splitLines(content).join('/'), "lines");
    }

    void check_data() {
        QTest::addColumn<QByteArrayList>("lines");
        QTest::addColumn<bool>("wholeConfig");
        QTest::addColumn<int>("firstError");
        const QByteArrayList block{"MOD",   "0 3 1",     "TESTMOD", "V1.00",
                                   "PARAM", "12 0 250 ", "MODEND"};
        const auto changed = [&](QByteArrayList lines, int at, const QByteArray& text) {
            lines[at] = text;
            return lines;
        };
        QTest::newRow("nothing") << QByteArrayList{} << true << -1;
        QTest::newRow("empty line anywhere") << QByteArrayList{";a", "", "MOD"} << true << 1;
        QTest::newRow("error in the second block")
            << changed(block + block, 12, "1  2") << true << 12;
        // Only a module of another type takes this way: its block ends at the type line and
        // the version line "MOD" opens a block whose address line is "PARAM".
        QTest::newRow("fails on a mismatch only") << changed(block, 3, "MOD") << true << 4;
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
