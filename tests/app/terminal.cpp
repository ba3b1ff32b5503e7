// The terminal window on a console module played by the test: the line taken and given back,
// keys sent one per request of the module, and how the display colours its cells.
#include "app/TerminalFrm.h"
#include "app/TerminalView.h"
#include "tests/support/AppFixture.h"
#include "tests/support/Expect.h"
#include "tests/support/TestMain.h"

#include <QClipboard>
#include <QLineEdit>
#include <QtTest>

namespace {
const QByteArray kStart("9\r"), kEnd("\x03\r"), SYN("\x16");

struct Console {
    Console() : m(f.start()), t(*m.TerminalFrm) {
        QObject::connect(&t.console(), &ConsoleSession::text, [this] { ++pieces; });
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
    // The main window's controls, with the panel, once the line is given back: usable again.
    bool givenBack() const {
        return m.btRestart->isEnabled() && m.sbM[0]->isEnabled() && m.btInfo->isEnabled() &&
               m.CtlPanelFrm->isVisible() && !m.link().ComPort().isOpen();
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
        QVERIFY(c.close());
        QVERIFY(c.givenBack());
        // The module ends the console with EOT (the re-read asked for then: link.LinkTest).
        QVERIFY(c.open());
        c.f.peer.send("bye\x04");
        QVERIFY(runUntil([&] { return !c.t.isVisible(); }));
        QVERIFY(runUntil([&] { return c.f.peer.received().endsWith(kStart + kEnd); }));
        QVERIFY(c.givenBack());
        QCOMPARE(c.t.Terminal->screen().rowText(0), QString("bye"));
        EXPECT_BYTES(c.f.peer.received(), kStart + kEnd + kStart + kEnd);
    }

    // Keys go to the module one per request of its, none echoed, and so does pasted text,
    // however long, with a key typed meanwhile after it; so do keys typed into the main window,
    // but not into a text field.
    void keysAtTheModulesPace_data() {
        QTest::addColumn<QList<int>>("keys");
        QTest::addColumn<int>("paste"); // 0 Ctrl+Shift+V, 1 Shift+Insert, 2 the middle button
        QTest::addColumn<QByteArray>("sent");
        const auto row = [](const char* name, const QList<int>& keys, int paste, const char* sent) {
            QTest::newRow(name) << keys << paste << QByteArray(sent);
        };
        row("cursor keys", {Qt::Key_Left, Qt::Key_Up, Qt::Key_Right, Qt::Key_Down}, -1,
            "\x1c\x1d\x1f\x1e");
        row("Enter and Escape", {Qt::Key_Return, Qt::Key_Escape}, -1, "\r\x1b");
        row("XOFF and XON, not the program's keys",
            {int(Qt::CTRL | Qt::Key_S), int(Qt::CTRL | Qt::Key_Q)}, -1, "\x13\x11");
        row("keys without a code", {Qt::Key_F1, Qt::Key_Home}, -1, "");
        row("Ctrl+Shift+V", {}, 0, "status all\rquit\r");
        row("Shift+Insert", {}, 1, "status all\rquit\r");
        row("middle button", {}, 2, "status all\rquit\r");
    }
    void keysAtTheModulesPace() {
        QFETCH(QList<int>, keys);
        QFETCH(int, paste);
        QFETCH(QByteArray, sent);
        Console c;
        QVERIFY(c.open());
        const QByteArray pasted("status all\nquit\r\n"); // longer than the ring of ten
        QGuiApplication::clipboard()->setText(pasted);
        if (QGuiApplication::clipboard()->supportsSelection())
            QGuiApplication::clipboard()->setText(pasted, QClipboard::Selection);
        for (int key : keys) {
            const auto code = Qt::Key(key & ~Qt::KeyboardModifierMask);
            if (key & Qt::CTRL) // its text is the control character, as from a keyboard
                QTest::sendKeyEvent(QTest::Click, c.t.Terminal, code,
                                    QString(QChar(code - Qt::Key_A + 1)), Qt::ControlModifier);
            else
                QTest::keyClick(c.t.Terminal, code);
        }
        if (paste == 0)
            QTest::keyClick(c.t.Terminal, Qt::Key_V, Qt::ControlModifier | Qt::ShiftModifier);
        else if (paste == 1)
            QTest::keyClick(c.t.Terminal, Qt::Key_Insert, Qt::ShiftModifier);
        else if (paste == 2)
            QTest::mouseClick(c.t.Terminal, Qt::MiddleButton);
        QLineEdit field(&c.m);
        QTest::keyClick(&field, 'x');
        QTest::keyClick(&c.m, 'z');
        QCOMPARE(field.text(), QString("x"));
        sent += 'z';
        QVERIFY(c.fromModule("."));
        // One key a request (the pace itself is the console session's: link.LinkTest).
        for (int i = 0; i <= sent.size(); ++i) // the last finds nothing left
            QVERIFY(c.fromModule(SYN));
        QVERIFY(c.close());
        EXPECT_BYTES(c.f.peer.received(), kStart + sent + kEnd);
        QCOMPARE(c.t.Terminal->screen().rowText(0), QString("."));
    }

    // The lines that scrolled off stay in reach; a key brings back the live screen; what the
    // mouse selects is copied as text.
    void scrollbackAndSelection() {
        Console c;
        QVERIFY(c.open());
        QByteArray lines;
        for (int i = 1; i <= 1100; ++i)
            lines += "line " + QByteArray::number(i) + "\r\n";
        TerminalView& v = *c.t.Terminal;
        v.display(lines);
        VtScreen& s = v.screen();
        QVERIFY(s.screenTop() - s.firstLine() >= 1000);
        QCOMPARE(s.lineText(s.screenTop() - 1), QString("line 1085"));
        QTest::keyClick(&v, Qt::Key_PageUp, Qt::ShiftModifier);
        QTest::keyClick(&v, Qt::Key_PageUp, Qt::ShiftModifier);
        QTest::keyClick(&v, Qt::Key_PageDown, Qt::ShiftModifier);
        QCOMPARE(v.scrolledBack(), s.rows() - 1);
        QWheelEvent wheel(QPointF(5, 5), v.mapToGlobal(QPointF(5, 5)), {}, {0, 120}, Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(&v, &wheel);
        QCOMPARE(v.scrolledBack(), s.rows() + 2);
        v.display("more\r\n"); // the view stays on the lines it shows
        QCOMPARE(v.scrolledBack(), s.rows() + 3);
        const qint64 top = s.screenTop() - v.scrolledBack();
        QTest::mousePress(&v, Qt::LeftButton, {}, QPoint(2, 2));
        const QPoint below(2, v.height() / s.rows() + 2); // the next line's first cell
        QTest::mouseMove(&v, below);
        QTest::mouseRelease(&v, Qt::LeftButton, {}, below);
        QCOMPARE(v.selectedText(), s.lineText(top) + "\nl");
        QTest::keyClick(&v, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), v.selectedText());
        QTest::keyClick(&v, 'q');
        QCOMPARE(v.scrolledBack(), 0);
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
        QCOMPARE(m.IdleState, quint8(1));
        QVERIFY(!m.state().TerminalMode && m.btRestart->isEnabled());
    }
};

ORVEX_TEST(TerminalTest)
#include "terminal.moc"
