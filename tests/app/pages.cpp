#include "tests/app/AppFixture.h"
#include "tests/support/TestMain.h"

#include "html/ui/ModulePagesWindow.h"
#include "panel/CtlPanelFrm.h"
#include "sim/SimServer.h"

#include <QPushButton>
#include <QTabWidget>
#include <QToolButton>
#include <QtTest>

// Selecting a module with its own pages hands the line to the pages window and takes it back.
class PagesHandOverTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void lineComesBackAfterThePages() {
        QString error;
        auto sim = SimServer::startPty(demoProfile(), &error);
        QVERIFY2(sim, qPrintable(error));
        int g = -1, s = -1;
        for (const SimSlotDef& d : demoProfile().modules)
            if (d.module.pages.enabled()) {
                g = d.subrack;
                s = d.slot;
            }
        QVERIFY(g >= 0);
        AppFixture f(sim->slavePath());
        TMainFrm& m = f.start();
        m.btRestart->click();
        QVERIFY(runUntil([&] { return m.state().IdleState == 3; }, 60000));
        m.pcModSwitch->setCurrentIndex(g);
        bool shown = false;
        std::function<void()> closeWhenLoaded = [&] {
            ModulePagesWindow* w = ModulePagesWindow::instance();
            if (w && w->isVisible()) {
                shown = true;
                w->close();
            } else {
                QTimer::singleShot(100, closeWhenLoaded);
            }
        };
        QTimer::singleShot(100, closeWhenLoaded);
        m.slotButton(g, s)->click();
        QVERIFY(shown);
        QVERIFY(!m.slotButton(g, s)->isChecked());
        QCOMPARE(m.statusText(), QString("Module #%1 pages closed.").arg(s + 1));
        QVERIFY(!m.btInfo->isEnabled());
        QVERIFY(m.shownMessages.isEmpty());
        // Commands work again on the same port.
        sim->headend().clearLog();
        m.slotButton(g, 1 - s % 2 + (s > 1 ? 0 : 0))->click();
        QVERIFY(sim->headend().received().startsWith(QByteArray("!") + char(0xC0 + g)));
    }
};

ORVEX_TEST(PagesHandOverTest)
#include "pages.moc"
