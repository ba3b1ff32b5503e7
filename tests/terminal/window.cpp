#include "app/TerminalView.h"
#include "tests/app/AppFixture.h"
#include "tests/support/TestMain.h"

#include <QPushButton>
#include <QToolButton>
#include <QtTest>

namespace {
const QByteArray kStart("9\r");
const QByteArray kEnd("\x03\r", 2);
const QByteArray SYN("\x16");
} // namespace

// The whole program on a scripted module; the test plays the console module.
struct Console {
    Console() : m(f.start()), t(*m.TerminalFrm) {
        QObject::connect(t.Terminal, &TerminalView::strReceived, [this](QByteArray&) { ++pieces; });
    }
    bool open() {
        t.show();
        return runUntil([&] { return f.peer.received().endsWith(kStart); });
    }
    bool close() {
        t.close();
        return runUntil([&] { return f.peer.received().endsWith(kEnd); });
    }
    // The module sends bytes in one piece; true once the window has had them.
    bool fromModule(const QByteArray& bytes) {
        const int before = pieces;
        f.peer.send(bytes);
        return runUntil([&] { return pieces > before; });
    }
    void type(const QList<int>& keys) {
        for (int key : keys)
            QTest::keyClick(t.Terminal, Qt::Key(key));
    }

    AppFixture f;
    TMainFrm& m;
    TTerminalFrm& t;
    int pieces = 0;
};

class TerminalWindowTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void openingTakesTheLine() {
        Console c;
        c.t.RestoreFlag = true;
        QVERIFY(c.open());
        QCOMPARE(c.f.peer.received(), kStart);
        QVERIFY(c.m.state().TerminalMode);
        QVERIFY(!c.m.btRestart->isEnabled());
        QVERIFY(!c.m.sbM[0]->isEnabled());
        QVERIFY(!c.m.btInfo->isEnabled());
        QVERIFY(!c.t.RestoreFlag);
        QVERIFY(c.t.Terminal->connected());
        QCOMPARE(c.m.link().ComPort().eventMask(), SerialPort::EventMask::RxChar);
        QCOMPARE(c.t.focusWidget(), c.t.Terminal);
    }

    void closingGivesTheLineBack() {
        Console c;
        QVERIFY(c.open());
        c.m.state().ReloadRequest = false;
        QVERIFY(c.close());
        QCOMPARE(c.f.peer.received(), kStart + kEnd);
        QVERIFY(c.m.state().ReloadRequest);
        QVERIFY(c.m.CtlPanelFrm->isVisible());
        QVERIFY(c.m.btRestart->isEnabled());
        QVERIFY(c.m.sbM[0]->isEnabled());
        QVERIFY(c.m.btInfo->isEnabled());
        QVERIFY(!c.t.Terminal->connected());
        QVERIFY(!c.m.link().ComPort().isOpen());
        QCOMPARE(c.m.link().ComPort().eventMask(), SerialPort::EventMask::RxFlag);
    }

    void keysWaitForTheModule_data() {
        QTest::addColumn<QList<int>>("keys");
        QTest::addColumn<int>("requests");
        QTest::addColumn<QByteArray>("sent");
        QTest::newRow("a, b, three requests")
            << QList<int>{Qt::Key_A, Qt::Key_B} << 3 << QByteArray("ab");
        QTest::newRow("Left") << QList<int>{Qt::Key_Left} << 1 << QByteArray("\x1c");
        QTest::newRow("cursor keys")
            << QList<int>{Qt::Key_Left, Qt::Key_Up, Qt::Key_Right, Qt::Key_Down} << 4
            << QByteArray("\x1c\x1d\x1f\x1e");
        QTest::newRow("eleven keys keep the last ten")
            << QList<int>{Qt::Key_A, Qt::Key_B, Qt::Key_C, Qt::Key_D, Qt::Key_E, Qt::Key_F,
                          Qt::Key_G, Qt::Key_H, Qt::Key_I, Qt::Key_J, Qt::Key_K}
            << 11 << QByteArray("bcdefghijk");
        QTest::newRow("fewer requests than keys")
            << QList<int>{Qt::Key_A, Qt::Key_B, Qt::Key_C} << 2 << QByteArray("ab");
        QTest::newRow("nothing typed") << QList<int>{} << 1 << QByteArray();
        QTest::newRow("Enter and Escape")
            << QList<int>{Qt::Key_Return, Qt::Key_Escape} << 2 << QByteArray("\r\x1b");
        QTest::newRow("keys without a code")
            << QList<int>{Qt::Key_F1, Qt::Key_Home} << 2 << QByteArray();
    }
    void keysWaitForTheModule() {
        QFETCH(QList<int>, keys);
        QFETCH(int, requests);
        Console c;
        QVERIFY(c.open());
        c.type(keys);
        // Nothing goes out before the module asks, and nothing is echoed.
        QVERIFY(c.fromModule("."));
        for (int i = 0; i < requests; ++i)
            QVERIFY(c.fromModule(SYN));
        QVERIFY(c.close());
        QTEST(c.f.peer.received().mid(kStart.size()).chopped(kEnd.size()), "sent");
        QCOMPARE(c.t.Terminal->screen().rowText(0), QString("."));
    }

    void keysLeftOverWaitForTheNextConsole() {
        Console c;
        QVERIFY(c.open());
        c.type({Qt::Key_A, Qt::Key_B});
        QVERIFY(c.fromModule(SYN));
        QVERIFY(c.close());
        QVERIFY(c.open());
        QVERIFY(c.fromModule(SYN));
        QVERIFY(c.close());
        QCOMPARE(c.f.peer.received(), kStart + "a" + kEnd + kStart + "b" + kEnd);
    }

    // The module asks for a key once: a request that finds no key waiting is remembered,
    // and the next key typed goes at once (the console would hang otherwise).
    void requestBeforeAnyKeyIsRemembered() {
        Console c;
        QVERIFY(c.open());
        QVERIFY(c.fromModule(SYN));
        c.type({Qt::Key_A});
        QVERIFY(runUntil([&] { return c.f.peer.received() == kStart + "a"; }));
        // That request is used up: the next key waits for the next one.
        c.type({Qt::Key_B});
        QVERIFY(c.close());
        QCOMPARE(c.f.peer.received(), kStart + "a" + kEnd);
    }

    void synAmongTextIsOnlyRemoved() {
        Console c;
        QVERIFY(c.open());
        c.type({Qt::Key_A});
        QVERIFY(c.fromModule("x\x16y"));
        QCOMPARE(c.t.Terminal->screen().rowText(0), QString("xy"));
        QVERIFY(c.close());
        QCOMPARE(c.f.peer.received(), kStart + kEnd);
    }

    void eotEndsTheConsole() {
        Console c;
        QVERIFY(c.open());
        c.t.RestoreFlag = true;
        c.m.state().ReloadRequest = false;
        c.f.peer.send("bye\x04");
        QVERIFY(runUntil([&] { return !c.t.isVisible(); }));
        QVERIFY(!c.t.RestoreFlag);
        QVERIFY(c.m.state().ReloadRequest);
        QVERIFY(c.m.CtlPanelFrm->isVisible());
        QVERIFY(c.m.btRestart->isEnabled());
        QVERIFY(c.m.btInfo->isEnabled());
        QVERIFY(runUntil([&] { return c.f.peer.received() == kStart + kEnd; }));
        QCOMPARE(c.t.Terminal->screen().rowText(0), QString("bye"));
    }

    void escapeSequencesPaint() {
        Console c;
        QVERIFY(c.open());
        QVERIFY(c.fromModule("junk\x1b[2J\x1b[3;5H\x1b[31;47mERR\x1b[0m ok"));
        const VtScreen& s = c.t.Terminal->screen();
        QCOMPARE(s.rows(), 16);
        QCOMPARE(s.rowText(0), QString());
        QCOMPARE(s.rowText(2), QString("    ERR ok"));
        const VtCell e = s.cell(2, 4);
        QCOMPARE(e.foreground, VtScreen::paletteColor(1));
        QCOMPARE(e.background, VtScreen::paletteColor(7));
        QCOMPARE(s.cell(2, 8).foregroundIndex, -1);
    }

    void portThatDoesNotOpen() {
        AppFixture f(QStringLiteral("/dev/orvex-no-such-port"));
        TMainFrm& m = f.start();
        const qsizetype before = m.shownMessages.size();
        m.TerminalFrm->show();
        QVERIFY(runUntil([&] { return !m.TerminalFrm->isVisible(); }));
        QCOMPARE(m.shownMessages.size(), before + 1);
        QCOMPARE(m.shownMessages.last(), QString("Please select proper COM Port"));
        QCOMPARE(m.state().IdleState, quint8(1));
        QVERIFY(!m.state().TerminalMode);
        QVERIFY(m.btRestart->isEnabled());
    }

    void hiddenBeforeOpeningSendsNothing() {
        Console c;
        c.t.show();
        c.t.hide();
        runFor(100);
        QVERIFY(c.f.peer.received().isEmpty());
        QVERIFY(!c.m.state().TerminalMode);
        QVERIFY(c.m.btRestart->isEnabled());
    }

    void colouredConsole() {
        Console c;
        c.m.placeTerminal();
        QVERIFY(c.open());
        QVERIFY(
            c.fromModule("\x1b[2J\x1b[H\x1b[7m  QAM modulator  console  v2.1            \x1b[0m\r\n"
                         "\r\n"
                         " Channel   \x1b[1m21\x1b[0m        Level  \x1b[32m 92.5 dBuV\x1b[0m\r\n"
                         " Lock      \x1b[32mOK\x1b[0m        Input  \x1b[33mweak\x1b[0m\r\n"
                         " Alarm     \x1b[41;37m TEMP \x1b[0m    Fan    \x1b[36m3100 rpm\x1b[0m\r\n"
                         "\r\n"
                         " \x1b[4m1\x1b[0m Channel  \x1b[4m2\x1b[0m Level  \x1b[4m3\x1b[0m Alarms  "
                         "\x1b[4m0\x1b[0m Exit\r\n"
                         "\r\n> "));
        QCOMPARE(c.t.Terminal->screen().rowText(0).trimmed(),
                 QString("QAM modulator  console  v2.1"));
        QCOMPARE(c.t.height(), 290);
        AppFixture::screenshot(&c.t, "terminal-console");
    }
};

ORVEX_TEST(TerminalWindowTest)
#include "window.moc"
