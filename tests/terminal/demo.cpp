#include "app/TerminalView.h"
#include "sim/SimServer.h"
#include "tests/app/AppFixture.h"
#include "tests/support/TestMain.h"

#include <QPushButton>
#include <QtTest>

namespace {
// The network controller of the demo head-end: a terminal-kind module, subrack 1, slot 9.
constexpr int kSubrack = 0;
constexpr int kSlot = 8;
} // namespace

// A console session with the demo head-end's console module, as the user has it.
class DemoConsoleTest : public QObject {
    Q_OBJECT
private:
    static bool shows(const VtScreen& s, const QString& text) {
        for (int r = 0; r < s.rows(); ++r)
            if (s.rowText(r).contains(text))
                return true;
        return false;
    }
    static QPoint find(const VtScreen& s, const QString& text) {
        for (int r = 0; r < s.rows(); ++r)
            if (const int c = s.rowText(r).indexOf(text); c >= 0)
                return QPoint(c, r);
        return QPoint(-1, -1);
    }

private Q_SLOTS:
    void sessionWithTheConsoleModule() {
        QString error;
        const auto sim = SimServer::startPty(demoProfile(), &error);
        QVERIFY2(sim, qPrintable(error));
        AppFixture f(sim->slavePath());
        TMainFrm& m = f.start();
        m.state().CurSubrack = kSubrack;
        m.state().CurSlot = kSlot;
        m.link().ReplyTimeout = 2000;
        QVERIFY(m.link().SelectModule(kSubrack, kSlot));
        QVERIFY(m.link().ReadInfoBlock(kSlot, kSubrack));
        m.placeTerminal();
        TTerminalFrm& t = *m.TerminalFrm;
        const VtScreen& s = t.Terminal->screen();
        t.show();
        QVERIFY(runUntil([&] { return shows(s, "service console") && shows(s, "nc100>"); }));

        // The module asks for the keys one by one; they show as it echoes them.
        QTest::keyClicks(t.Terminal, "colors");
        QTest::keyClick(t.Terminal, Qt::Key_Return);
        QVERIFY(runUntil([&] { return shows(s, "underline"); }));
        const QPoint red = find(s, "red");
        QVERIFY(red.y() >= 0);
        QCOMPARE(s.cell(red.y(), red.x()).foreground, VtScreen::paletteColor(1));
        QVERIFY(shows(s, "nc100> colors"));
        AppFixture::screenshot(&t, "terminal-demo-console");

        m.state().ReloadRequest = false;
        QTest::keyClicks(t.Terminal, "exit");
        QTest::keyClick(t.Terminal, Qt::Key_Return);
        QVERIFY(runUntil([&] { return !t.isVisible(); }));
        QVERIFY(shows(s, "Console closed."));
        QVERIFY(m.state().ReloadRequest);
        QVERIFY(m.CtlPanelFrm->isVisible());
        QVERIFY(m.btRestart->isEnabled());
    }
};

ORVEX_TEST(DemoConsoleTest)
#include "demo.moc"
