#include "tests/app/AppFixture.h"
#include "tests/support/TestMain.h"

#include "app/Led.h"
#include "panel/CtlPanelFrm.h"
#include "sim/SimServer.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QToolButton>
#include <QtTest>

namespace {
std::unique_ptr<SimServer> startSim(const SimProfile& profile) {
    QString error;
    auto sim = SimServer::startPty(profile, &error);
    if (!sim)
        qFatal("simulator: %s", qPrintable(error));
    return sim;
}

// The demo head-end with only the modules for which keep() holds.
SimProfile demoWith(const std::function<bool(const SimSlotDef&)>& keep) {
    SimProfile p = demoProfile();
    QVector<SimSlotDef> kept;
    for (const auto& m : p.modules)
        if (keep(m))
            kept << m;
    p.modules = kept;
    return p;
}

QColor captionColour(QToolButton* b) {
    return b->palette().color(QPalette::ButtonText);
}
} // namespace

// "Scan", the subrack view and selecting a module, against the simulator.
class ScanTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void demoHeadend() {
        auto sim = startSim(demoProfile());
        AppFixture f(sim->slavePath());
        TMainFrm& m = f.start();
        scan(m);
        QCOMPARE(m.state().IdleState, quint8(3));
        const SimProfile demo = demoProfile();
        QCOMPARE(m.statusText(), QString::number(demo.modules.size()) + " Modules found");
        for (int g = 0; g < 2; ++g) {
            for (int s = 0; s < 16; ++s) {
                QToolButton* b = m.slotButton(g, s);
                const TModule* rec = m.Modules().at(s, g);
                QVERIFY(rec);
                if (!sim->headend().isPresent(g, s)) {
                    QCOMPARE(b->text(), QString("-"));
                    QCOMPARE(rec->TypeName, QString(" Not installed"));
                    continue;
                }
                QCOMPARE(b->text(), rec->TypeName);
                QCOMPARE(captionColour(b), rec->DiagFault ? QColor(255, 0, 0) : QColor(0, 128, 0));
            }
        }
        QVERIFY(m.pcModSwitch->isTabVisible(1));
        QCOMPARE(m.pcModSwitch->currentIndex(), 0);
        QVERIFY(m.pcModSwitch->isEnabled());
        QVERIFY(!m.btInfo->isEnabled());
        QVERIFY(!m.link().ComPort().isOpen());
        QCOMPARE(m.ldReady->currentColor(), QColor(0, 255, 0));
        AppFixture::screenshot(&m, "scanned-demo");
        m.showPage(1);
        AppFixture::screenshot(&m, "scanned-demo-subrack2");
    }

    void emptyHeadend() {
        AppFixture f; // a peer that never answers
        TMainFrm& m = f.start();
        scan(m);
        QCOMPARE(m.statusText(), QString("No Active Modules found"));
        QVERIFY(!m.pcModSwitch->isTabVisible(1));
        QCOMPARE(m.pcModSwitch->currentIndex(), 0);
        QCOMPARE(m.sbM[5]->text(), QString("-"));
        QCOMPARE(m.state().FoundCount, 0);
        // Two unanswered presence checks per slot.
        QCOMPARE(f.peer.frames().size(), 64);
    }

    void oneModuleInTheSecondSubrack() {
        auto sim =
            startSim(demoWith([](const SimSlotDef& d) { return d.subrack == 1 && d.slot == 4; }));
        AppFixture f(sim->slavePath());
        TMainFrm& m = f.start();
        const int before = m.ldReady->toggles();
        scan(m);
        QCOMPARE(m.statusText(), QString("1 Module found"));
        QVERIFY(m.pcModSwitch->isTabVisible(1));
        QCOMPARE(m.pcModSwitch->currentIndex(), 0);
        // The lamp blinks once per empty slot and three times for the module.
        QCOMPARE(m.ldReady->toggles() - before, 31 + 3);
    }

    void selectingInTheSecondSubrack() {
        auto sim =
            startSim(demoWith([](const SimSlotDef& d) { return d.subrack == 1 && d.slot == 4; }));
        AppFixture f(sim->slavePath());
        TMainFrm& m = f.start();
        scan(m);
        m.pcModSwitch->setCurrentIndex(1);
        QCOMPARE(m.state().CurSubrack, 1);
        m.sbM[20]->click(); // sbM21: slot index 4 of subrack index 1
        QCOMPARE(m.state().CurSlot, 4);
        QCOMPARE(m.statusText(), QString("Module #5 selected"));
        QVERIFY(m.sbM[20]->isChecked());
        QVERIFY(m.btInfo->isEnabled());
        QVERIFY(m.CtlPanelFrm->isVisible());
        m.sbM[19]->click(); // sbM20: an empty slot
        QCOMPARE(m.state().CurSlot, 3);
        QCOMPARE(m.statusText(), QString()); // nothing left of the module before
        QVERIFY(!m.btInfo->isEnabled());
        QVERIFY(!m.sbM[20]->isChecked());
        QVERIFY(m.sbM[19]->isChecked());
        QVERIFY(!m.CtlPanelFrm->isVisible());
        // Switching pages puts every button up.
        m.pcModSwitch->setCurrentIndex(0);
        for (QToolButton* b : m.sbM)
            QVERIFY(!b->isChecked());
        QCOMPARE(m.state().CurSubrack, 0);
    }

    void reloadWaitsWhileTheLinkIsBusy() {
        auto sim =
            startSim(demoWith([](const SimSlotDef& d) { return d.subrack == 0 && d.slot == 0; }));
        AppFixture f(sim->slavePath());
        TMainFrm& m = f.start();
        scan(m);
        m.sbM[0]->click();
        sim->headend().clearLog();
        m.link().LinkBusy = true;
        m.state().ReloadRequest = true;
        runFor(200);
        QVERIFY(m.state().ReloadRequest);
        QVERIFY(sim->headend().received().isEmpty());
        m.link().LinkBusy = false;
        QVERIFY(runUntil([&] { return !m.state().ReloadRequest; }));
        QVERIFY(runUntil([&] { return m.statusText() == "Module #1 selected"; }));
        // Select (two frames), info block, values, then the commit.
        QVERIFY(sim->headend().received().endsWith("!0\r!2\r!6\r"));
    }

    void pendingCommitGoesToItsModule() {
        auto sim =
            startSim(demoWith([](const SimSlotDef& d) { return d.subrack == 0 && d.slot < 2; }));
        AppFixture f(sim->slavePath());
        TMainFrm& m = f.start();
        scan(m);
        m.sbM[0]->click();
        const int before = sim->headend().state(0, 0).commits;
        // A commit waits for its 500 ms when the user turns to the next module.
        m.CtlPanelFrm->SetCommitTimer(true);
        m.sbM[1]->click();
        QCOMPARE(sim->headend().state(0, 0).commits, before + 1);
        QVERIFY(!m.CtlPanelFrm->tmEEPROM.isActive());
        QCOMPARE(m.state().CurSlot, 1);
    }

    void portLostDuringTheScan() {
        auto sim = startSim(demoProfile());
        AppFixture f(sim->slavePath());
        TMainFrm& m = f.start();
        m.btRestart->click();
        QTimer::singleShot(300, [&] { sim->closeLine(); });
        QVERIFY(runUntil([&] { return m.state().IdleState != 2; }, 30000));
        QCOMPARE(m.state().IdleState, quint8(1));
        QCOMPARE(m.shownMessages.size(), 1);
        QVERIFY(m.btRestart->isEnabled());
        QVERIFY(m.pcModSwitch->isEnabled());
        QVERIFY(!m.statusProgress->isVisible());
    }
};

ORVEX_TEST(ScanTest)
#include "scan.moc"
