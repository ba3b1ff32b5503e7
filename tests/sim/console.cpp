// The console of terminal-kind modules: opened by "9" CR, paced by SYN, closed by EOT from the
// module or by ETX CR from the program.
#include "SimTestLine.h"
#include "tests/support/TestMain.h"

namespace {
constexpr char SYN = 0x16, kConsoleEot = 0x04;
}

class SimConsoleTest : public QObject {
    Q_OBJECT

    SimProfile m_demo = demoProfile();

    // Selects the NC-100 controller (subrack 1, slot 9) and opens its console.
    void open(SimRig& rig) {
        QCOMPARE(rig.select(0, 8), QByteArray("\x06"));
        rig.headend.feed("9\r");
    }

private slots:
    void opensWithBannerThenAsksForAKey() {
        SimRig rig(m_demo);
        open(rig);
        QCOMPARE(rig.line.items.size(), 2);
        QVERIFY(rig.line.items.at(0).first.contains("NC-100 Network Controller"));
        QVERIFY(!rig.line.items.at(0).first.contains(SYN));
        // SYN on its own, after a pause, so that it arrives as a piece of its own.
        QCOMPARE(rig.line.items.at(1).first, QByteArray(1, SYN));
        QVERIFY(rig.line.items.at(1).second > 0);
        QVERIFY(rig.headend.state(0, 8).consoleOpen);
    }

    void commands_data() {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("help") << QByteArray("help") << QByteArray("  meter    input levels");
        QTest::newRow("status colours") << QByteArray("status") << QByteArray("\x1b[32mOK  ");
        QTest::newRow("image") << QByteArray("image") << QByteArray("EEPROM image, 24 lines");
        QTest::newRow("cursor moves") << QByteArray("meter") << QByteArray("\x1b[4A\r\x1b[6C");
        QTest::newRow("unknown") << QByteArray("foo") << QByteArray("Unknown command: foo");
        QTest::newRow("backspace") << QByteArray("helx\bp") << QByteArray("this text");
    }
    void commands() {
        QFETCH(QByteArray, line);
        QFETCH(QByteArray, expected);
        SimRig rig(m_demo);
        open(rig);
        rig.line.take();
        QByteArray out;
        for (char c : line + '\r') {
            rig.headend.feed(QByteArray(1, c));
            const QByteArray piece = rig.line.take();
            QVERIFY(piece.endsWith(SYN)); // one key asked for after every key
            out += piece;
        }
        QVERIFY2(out.contains(expected), out.constData());
        QVERIFY(out.contains("nc100> "));
    }

    void exitEndsWithEot() {
        SimRig rig(m_demo);
        open(rig);
        const QByteArray out = rig.ask("exit\r");
        QVERIFY(out.endsWith(kConsoleEot));
        QVERIFY(!rig.headend.state(0, 8).consoleOpen);
        QCOMPARE(rig.command("?"), QByteArray("OX-NC1-2307-00008\x03")); // frames again
    }

    void etxCrClosesSilently() {
        SimRig rig(m_demo);
        open(rig);
        rig.line.take();
        QCOMPARE(rig.ask("\x03\r"), QByteArray());
        QVERIFY(!rig.headend.state(0, 8).consoleOpen);
    }

    void onlyModulesWithAConsole_data() {
        QTest::addColumn<int>("subrack");
        QTest::addColumn<int>("slot");
        QTest::addColumn<bool>("opens");
        QTest::newRow("terminal kind") << 0 << 8 << true;
        QTest::newRow("terminal button") << 1 << 4 << true;
        QTest::newRow("parameter module") << 0 << 0 << false;
    }
    void onlyModulesWithAConsole() {
        QFETCH(int, subrack);
        QFETCH(int, slot);
        QFETCH(bool, opens);
        SimRig rig(m_demo);
        rig.select(subrack, slot);
        QCOMPARE(!rig.ask("9\r").isEmpty(), opens);
        QCOMPARE(rig.headend.state(subrack, slot).consoleOpen, opens);
    }
};

ORVEX_TEST(SimConsoleTest)
#include "console.moc"
