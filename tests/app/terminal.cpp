// The terminal window on a console module played by the test: the line taken and given back,
// keys sent one per request of the module, and how the display colours its cells.
#include "app/TerminalFrm.h"
#include "app/TerminalView.h"
#include "tests/support/AppFixture.h"
#include "tests/support/Expect.h"
#include "tests/support/TestMain.h"

#include <QToolButton>
#include <QtTest>

namespace {
const QByteArray kStart("9\r"), kEnd("\x03\r"), SYN("\x16");

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
    bool controlsEnabled() const {
        return m.btRestart->isEnabled() && m.sbM[0]->isEnabled() && m.btInfo->isEnabled();
    }
    AppFixture f;
    TMainFrm& m;
    TTerminalFrm& t;
    int pieces = 0;
};
} // namespace

class TerminalTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void lineTakenAndGivenBack() {
        Console c;
        c.t.show();
        c.t.hide(); // before the window opened its console: nothing happens
        settle();
        QVERIFY(c.f.peer.received().isEmpty() && !c.m.state().TerminalMode);
        c.t.RestoreFlag = true;
        QVERIFY(c.open());
        QVERIFY(c.m.state().TerminalMode && !c.t.RestoreFlag);
        QVERIFY(!c.m.btRestart->isEnabled() && !c.m.sbM[0]->isEnabled() &&
                !c.m.btInfo->isEnabled());
        QVERIFY(c.t.Terminal->connected());
        c.m.state().ReloadRequest = false;
        QVERIFY(c.close());
        QVERIFY(c.m.state().ReloadRequest && c.m.CtlPanelFrm->isVisible() && c.controlsEnabled());
        QVERIFY(!c.t.Terminal->connected() && !c.m.link().ComPort().isOpen());
        // The module ends the console with EOT.
        QVERIFY(c.open());
        c.m.state().ReloadRequest = false;
        c.f.peer.send("bye\x04");
        QVERIFY(runUntil([&] { return !c.t.isVisible(); }));
        QVERIFY(c.m.state().ReloadRequest && c.m.CtlPanelFrm->isVisible() && c.controlsEnabled());
        QVERIFY(runUntil([&] { return c.f.peer.received().endsWith(kStart + kEnd); }));
        QCOMPARE(c.t.Terminal->screen().rowText(0), QString("bye"));
        EXPECT_BYTES(c.f.peer.received(), kStart + kEnd + kStart + kEnd);
    }

    void keysWaitForTheModule_data() {
        QTest::addColumn<QList<int>>("keys");
        QTest::addColumn<int>("requests");
        QTest::addColumn<QByteArray>("sent");
        QTest::newRow("cursor keys")
            << QList<int>{Qt::Key_Left, Qt::Key_Up, Qt::Key_Right, Qt::Key_Down} << 4
            << QByteArray("\x1c\x1d\x1f\x1e");
        QTest::newRow("Enter and Escape")
            << QList<int>{Qt::Key_Return, Qt::Key_Escape} << 2 << QByteArray("\r\x1b");
        QTest::newRow("keys without a code")
            << QList<int>{Qt::Key_F1, Qt::Key_Home} << 2 << QByteArray();
    }
    void keysWaitForTheModule() {
        QFETCH(QList<int>, keys);
        QFETCH(int, requests);
        QFETCH(QByteArray, sent);
        Console c;
        QVERIFY(c.open());
        for (int key : keys)
            QTest::keyClick(c.t.Terminal, Qt::Key(key));
        // Nothing goes out before the module asks, and nothing is echoed.
        QVERIFY(c.fromModule("."));
        for (int i = 0; i < requests; ++i)
            QVERIFY(c.fromModule(SYN));
        QVERIFY(c.close());
        EXPECT_BYTES(c.f.peer.received().mid(kStart.size()).chopped(kEnd.size()), sent);
        QCOMPARE(c.t.Terminal->screen().rowText(0), QString("."));
    }

    // At start and again when the console asks for the line.
    void portThatDoesNotOpen() {
        AppFixture f(QStringLiteral("/dev/orvex-no-such-port"));
        TMainFrm& m = f.start();
        // The port and the reason under the program's own text.
        const QStringList said{"Please select proper COM Port\n/dev/orvex-no-such-port: No such "
                               "file or directory"};
        QCOMPARE(m.shownMessages, said);
        m.shownMessages.clear();
        m.TerminalFrm->show();
        QVERIFY(runUntil([&] { return !m.TerminalFrm->isVisible(); }));
        QCOMPARE(m.shownMessages, said);
        QCOMPARE(m.state().IdleState, quint8(1));
        QVERIFY(!m.state().TerminalMode && m.btRestart->isEnabled());
    }
};

ORVEX_TEST(TerminalTest)
#include "terminal.moc"
