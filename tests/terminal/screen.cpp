#include "app/TerminalView.h"
#include "tests/support/TestMain.h"

#include <QtTest>

namespace {
const QByteArray ESC("\x1b");
}

// The emulation and how the display colours its cells: checked on the cell grid.
class ScreenTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void paintsWhereAndHow_data() {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("col");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("fg");
        QTest::addColumn<int>("bg");
        QTest::addColumn<QString>("attrs"); // b bold, u underline, r reverse, k blink
        QTest::newRow("plain") << QByteArray("ab") << 0 << 1 << "b" << -1 << -1 << "";
        QTest::newRow("cursor position") << ESC + "[5;10HX" << 4 << 9 << "X" << -1 << -1 << "";
        QTest::newRow("position then colour")
            << ESC + "[3;4H" + ESC + "[31;44mR" << 2 << 3 << "R" << 1 << 4 << "";
        QTest::newRow("bright via bold") << ESC + "[1;32mG" << 0 << 0 << "G" << 10 << -1 << "b";
        QTest::newRow("reset by SGR 0")
            << ESC + "[35;1;4;7mA" + ESC + "[0mB" << 0 << 1 << "B" << -1 << -1 << "";
        QTest::newRow("attributes") << ESC + "[4;5;7mZ" << 0 << 0 << "Z" << -1 << -1 << "ukr";
        QTest::newRow("bright colours") << ESC + "[93;101mY" << 0 << 0 << "Y" << 11 << 9 << "";
        QTest::newRow("cursor forward, back, down, up")
            << ESC + "[10C" + ESC + "[3D" + ESC + "[4B" + ESC + "[2AQ" << 2 << 7 << "Q" << -1 << -1
            << "";
        QTest::newRow("home") << QByteArray("abc") + ESC + "[HZ" << 0 << 0 << "Z" << -1 << -1 << "";
        QTest::newRow("CR LF") << QByteArray("ab\r\ncd") << 1 << 0 << "c" << -1 << -1 << "";
        QTest::newRow("erase line keeps the left part")
            << QByteArray("abcdef") + ESC + "[1;3H" + ESC + "[K" << 0 << 1 << "b" << -1 << -1 << "";
        QTest::newRow("erase line clears from the cursor")
            << QByteArray("abcdef") + ESC + "[1;3H" + ESC + "[K" << 0 << 3 << "" << -1 << -1 << "";
        QTest::newRow("erase display")
            << QByteArray("abc\r\ndef") + ESC + "[2J" << 1 << 1 << "" << -1 << -1 << "";
        QTest::newRow("line drawing set")
            << ESC + "(0q" + ESC + "(Bq" << 0 << 0 << QString(QChar(0x2500)) << -1 << -1 << "";
        QTest::newRow("8-bit character")
            << QByteArray("\xe9") << 0 << 0 << QString(QChar(0xe9)) << -1 << -1 << "";
        QTest::newRow("8-bit control") << QByteArray("\x9b"
                                                     "2;3HC")
                                       << 1 << 2 << "C" << -1 << -1 << "";
        // Switching the column mode clears the screen and homes the cursor on a VT100; the
        // grid keeps its width.
        QTest::newRow("column mode clears")
            << QByteArray("abc\r\nxyz") + ESC + "[?3hQ" << 1 << 0 << "" << -1 << -1 << "";
        QTest::newRow("column mode homes")
            << QByteArray("abc\r\nxyz") + ESC + "[?3lQ" << 0 << 0 << "Q" << -1 << -1 << "";
    }
    void paintsWhereAndHow() {
        QFETCH(QByteArray, input);
        QFETCH(int, row);
        QFETCH(int, col);
        QFETCH(QString, attrs);
        VtScreen screen(16, 80);
        screen.feed(input);
        const VtCell c = screen.cell(row, col);
        QTEST(c.text, "text");
        QTEST(c.foregroundIndex, "fg");
        QTEST(c.backgroundIndex, "bg");
        QCOMPARE(c.bold, attrs.contains('b'));
        QCOMPARE(c.underline, attrs.contains('u'));
        QCOMPARE(c.reverse, attrs.contains('r'));
        QCOMPARE(c.blink, attrs.contains('k'));
        if (c.foregroundIndex >= 0)
            QCOMPARE(c.foreground, VtScreen::paletteColor(c.foregroundIndex));
    }

    // A sequence cut anywhere between two pieces from the line still works.
    void sequenceAcrossPieces_data() {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("col");
        QTest::newRow("cursor position") << ESC + "[12;40HX" << 11 << 39;
        QTest::newRow("column mode") << QByteArray("abc") + ESC + "[?3hX" << 0 << 0;
    }
    void sequenceAcrossPieces() {
        QFETCH(QByteArray, input);
        QFETCH(int, row);
        QFETCH(int, col);
        for (int cut = 1; cut < input.size(); ++cut) {
            VtScreen screen(16, 80);
            screen.feed(input.left(cut));
            screen.feed(input.mid(cut));
            QVERIFY2(screen.cell(row, col).text == "X", qPrintable(QString::number(cut)));
        }
    }

    void sixteenRowsScroll() {
        VtScreen screen(16, 80);
        for (int i = 0; i < 20; ++i)
            screen.feed("line " + QByteArray::number(i) + "\r\n");
        QCOMPARE(screen.rowText(0), QString("line 5"));
        QCOMPARE(screen.rowText(14), QString("line 19"));
        QCOMPARE(screen.cursor(), QPoint(0, 15));
    }

    void answersQueries() {
        VtScreen screen(16, 80);
        QByteArray sent;
        connect(&screen, &VtScreen::output, this, [&](const QByteArray& b) { sent += b; });
        screen.feed(ESC + "[3;7H" + ESC + "[6n");
        QCOMPARE(sent, ESC + "[3;7R");
    }

    void drawingColours_data() {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QColor>("fg");
        QTest::addColumn<QColor>("bg");
        const QColor white(255, 255, 255), black(0, 0, 0), red(255, 0, 0);
        QTest::newRow("default") << QByteArray("A") << white << black;
        QTest::newRow("bold in the default colour") << ESC + "[1mA" << red << black;
        QTest::newRow("reverse") << ESC + "[7mA" << black << white;
        QTest::newRow("bold reverse") << ESC + "[1;7mA" << black << red;
        QTest::newRow("own colours")
            << ESC + "[32;43mA" << VtScreen::paletteColor(2) << VtScreen::paletteColor(3);
        QTest::newRow("light screen") << ESC + "[?5hA" << black << white;
    }
    void drawingColours() {
        QFETCH(QByteArray, input);
        TerminalView view(16);
        view.setColors(QColor(255, 255, 255), QColor(0, 0, 0), QColor(255, 0, 0));
        view.display(input);
        const auto [fg, bg] = view.colorsAt(0, 0);
        QTEST(fg, "fg");
        QTEST(bg, "bg");
    }
};

ORVEX_TEST(ScreenTest)
#include "screen.moc"
