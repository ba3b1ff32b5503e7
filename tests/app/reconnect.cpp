#include "tests/app/AppFixture.h"
#include "tests/support/TestMain.h"

#include "panel/CtlPanelFrm.h"
#include "sim/SimServer.h"

#include <QPushButton>
#include <QToolButton>
#include <QtTest>

// The serial adapter pulled and plugged in again under the same name.
class ReconnectTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void nextOperationOpensThePortAgain() {
        QTemporaryDir lineDir;
        SimServerOptions options;
        options.linkPath = lineDir.filePath("headend");
        QString error;
        auto sim = SimServer::startPty(demoProfile(), &error, options);
        QVERIFY2(sim, qPrintable(error));
        AppFixture f(options.linkPath);
        TMainFrm& m = f.start();
        m.btRestart->click();
        QVERIFY(runUntil([&] { return m.state().IdleState != 2; }, 60000));
        QVERIFY2(m.state().IdleState == 3, qPrintable(m.shownMessages.join('|')));
        m.sbM[0]->click();
        QVERIFY(m.link().ComPort().isOpen());

        sim->closeLine();
        QVERIFY(runUntil([&] { return !m.link().ComPort().isOpen(); }, 5000));
        QVERIFY(m.statusText().startsWith("Serial port lost at "));
        // With the adapter gone, a command says so plainly and nothing hangs.
        m.sbM[1]->click();
        QVERIFY(!m.shownMessages.isEmpty());
        QVERIFY(m.shownMessages.last().contains("cannot be opened"));

        QVERIFY2(sim->reopenLine(&error), qPrintable(error));
        m.btRestart->click();
        QVERIFY(runUntil([&] { return m.state().IdleState == 3; }, 60000));
        QCOMPARE(m.statusText(), QString("%1 Modules found").arg(demoProfile().modules.size()));
    }
};

ORVEX_TEST(ReconnectTest)
#include "reconnect.moc"
