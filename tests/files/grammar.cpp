// The line grammar of the files: how the reader splits a file and its fields, how the writer
// builds value lines, and which files the check refuses before anything is sent.
#include "files/FileFormat.h"
#include "files/LoadSteps.h"
#include "tests/support/Files.h"
#include "tests/support/TestMain.h"

#include <QtTest>

class GrammarTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void splitLines_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QByteArray>("lines"); // joined with "/"
        const auto row = [](const char* name, const QByteArray& content, const char* lines) {
            QTest::newRow(name) << content << QByteArray(lines);
        };
        row("last line unended", "MOD\r\nMODEND", "MOD/MODEND");
        row("lone LF belongs to the line", "A\nB\r\nC", "A\nB/C");
        row("one LF skipped, the next kept", "A\r\n\nB\r\n", "A/\nB");
        row("CR CR gives an empty line", "A\r\r\nB\r\n", "A//B");
        row("Ctrl-Z ends the file", "A\r\nB\x1A\r\nC\r\n", "A/B");
    }
    void splitLines() {
        QFETCH(QByteArray, content);
        QTEST(FileFormat::splitLines(content).join('/'), "lines");
    }

    void check_data() {
        QTest::addColumn<QByteArrayList>("lines");
        QTest::addColumn<int>("firstError");
        QTest::newRow("nothing") << QByteArrayList{} << -1;
        QTest::newRow("empty line anywhere") << QByteArrayList{";a", "", "MOD"} << 1;
        QTest::newRow("error in the second block")
            << changedLine(kModuleBlock + kModuleBlock, 12, "1  2") << 12;
        // Only a module of another type takes this way: its block ends at the type line and
        // the version line "MOD" opens a block whose address line is "PARAM".
        QTest::newRow("fails on a mismatch only") << changedLine(kModuleBlock, 3, "MOD") << 4;
        QByteArrayList comment = kModuleBlock;
        comment.insert(5, ";inside");
        QTest::newRow("comment inside a block") << comment << -1;
    }
    void check() {
        QFETCH(QByteArrayList, lines);
        QTEST(LoadSteps::firstFileError(lines, true), "firstError");
    }
};

ORVEX_TEST(GrammarTest)
#include "grammar.moc"
