#include "tests/app/AppFixture.h"
#include "tests/support/TestMain.h"

#include "app/DiagFrm.h"
#include "app/HelpWindow.h"
#include "app/Placement.h"
#include "panel/CtlPanelFrm.h"
#include "panel/GradientCaption.h"
#include "sim/SimServer.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QToolButton>
#include <QtTest>

namespace {
std::unique_ptr<SimServer> startDemoSim() {
    QString error;
    auto sim = SimServer::startPty(demoProfile(), &error);
    if (!sim)
        qFatal("simulator: %s", qPrintable(error));
    return sim;
}
} // namespace

// Diagnostics, service commands, satellite placement, help.
class ServiceTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void placementArithmetic_data() {
        QTest::addColumn<QRect>("main");
        QTest::addColumn<int>("height");
        QTest::addColumn<QRect>("placedMain");
        QTest::addColumn<QRect>("satellite");
        const QRect m(40, 500, 611, 180);
        QTest::newRow("panel of 3 rows") << m << 135 << m << QRect(40, 365, 611, 135);
        QTest::newRow("terminal") << m << 290 << m << QRect(40, 210, 611, 290);
        // The caption of neither window leaves the screen: the main window makes room.
        QTest::newRow("main at the top")
            << m.translated(0, -480) << 135 << QRect(40, 135, 611, 180) << QRect(40, 0, 611, 135);
        QTest::newRow("main off the left and bottom")
            << m.translated(-100, 600) << 135 << QRect(0, 588, 611, 180) << QRect(0, 453, 611, 135);
        QTest::newRow("report taller than the room")
            << m << 900 << QRect(40, 588, 611, 180) << QRect(40, 0, 611, 588);
    }
    void placementArithmetic() {
        QFETCH(QRect, main);
        QFETCH(int, height);
        const Placement::Stack s = Placement::stack(main, height, QRect(0, 0, 1024, 768));
        QTEST(s.main, "placedMain");
        QTEST(s.satellite, "satellite");
        QCOMPARE(Placement::mainBelow(s.satellite), s.main.topLeft());
    }

    void diagnosticsWindow() {
        auto sim = startDemoSim();
        AppFixture f(sim->slavePath());
        TMainFrm& m = f.start();
        scan(m);
        m.sbM[2]->click(); // the receiver with a diagnostic fault
        QVERIFY(m.CtlPanelFrm->isVisible());
        m.btInfo->click();
        QVERIFY(m.DiagFrm);
        QVERIFY(!m.CtlPanelFrm->isVisible());
        QCOMPARE(m.DiagFrm->caption(), QString("Module #3 diagnostic"));
        const QStringList lines = m.DiagFrm->mmDiag->toPlainText().split('\n');
        QCOMPARE(lines.value(0), "Module #3  " + m.currentModule()->TypeName + "  Vers. " +
                                     m.currentModule()->VersionText);
        QVERIFY(lines.value(1).startsWith("SN "));
        QCOMPARE(lines.value(2), QString(21, '='));
        QCOMPARE(lines.value(3), QString("Diagnostic Bytes:"));
        // Every line in sight: the memo has nothing to scroll.
        QVERIFY(runUntil([&] { return m.DiagFrm->mmDiag->verticalScrollBar()->maximum() == 0; }));
        QCOMPARE(m.DiagFrm->frameGeometry().bottom() + 1, m.frameGeometry().top());
        QCOMPARE(m.sbM[2]->palette().color(QPalette::ButtonText), QColor(255, 0, 0));
        AppFixture::screenshot(m.DiagFrm, "diagnostics");
        // Diag again: closed, the panel is back.
        m.btInfo->click();
        QVERIFY(!m.DiagFrm);
        QVERIFY(m.CtlPanelFrm->isVisible() || m.CtlPanelFrm->controlCount() == 0);
        // A second report does not ask for the extended texts again.
        sim->headend().clearLog();
        m.btInfo->click();
        QVERIFY(!sim->headend().received().contains("!:\r"));
        QVERIFY(sim->headend().received().contains("!1\r"));
    }

    void specialAddress() {
        auto sim = startDemoSim();
        AppFixture f(sim->slavePath(), {"orvex-link", "/k"});
        TMainFrm& m = f.start();
        scan(m);
        sim->headend().clearLog();
        m.SpecAddr->trigger();
        const QByteArray sent = sim->headend().received();
        QVERIFY(sent.startsWith("!\xC0\x90"));
        QVERIFY(sent.endsWith("!0\r!2\r!;\r"));
        QCOMPARE(m.statusText(), QString("Special address selected."));
        QCOMPARE(m.state().CurSlot, 0);
        QCOMPARE(m.state().CurSubrack, 0);
        QVERIFY(m.CtlPanelFrm->caption().startsWith("Module #1:  "));
        QVERIFY(m.btInfo->isEnabled());
    }

    void resetModule() {
        auto sim = startDemoSim();
        AppFixture f(sim->slavePath());
        TMainFrm& m = f.start();
        scan(m);
        m.sbM[3]->click();
        m.ModDefaultsClick();
        QVERIFY(runUntil([&] { return !m.state().ReloadRequest; }));
        QCOMPARE(m.statusText(), QString("Module #4 defaults loaded."));
        sim->headend().clearLog();
        m.ModReset->trigger();
        QCOMPARE(sim->headend().received(), QByteArray("!7\r"));
        QVERIFY(!m.CtlPanelFrm->isVisible());
        QCOMPARE(m.statusText(), QString("Module #4 reset."));
        QVERIFY(m.sbM[3]->isChecked()); // the module the status speaks of
    }

    void lineBreak() {
        AppFixture f({}, {"orvex-link", "/k"});
        TMainFrm& m = f.start();
        f.peer.clearReceived();
        m.LineBreak->trigger();
        QVERIFY(f.peer.waitForFrames(1, 2000));
        QCOMPARE(f.peer.received(), QByteArray(1, '\0'));
        QVERIFY(!m.link().ComPort().isOpen());
        QCOMPARE(m.link().ComPort().settings().BaudRate, QString("115200"));
        QCOMPARE(m.link().ComPort().eventMask(), SerialPort::EventMask::RxFlag);
        QCOMPARE(m.statusText(), QString("LineBreak sent."));
    }

    void help() {
        AppFixture f;
        TMainFrm& m = f.start();
        const QString cwd = QDir::currentPath();
        m.EnglishHelp->trigger();
        QCOMPARE(m.shownMessages.size(), 1);
        QVERIFY(m.shownMessages.last().contains("\"Help\""));
        QDir().mkdir("Help");
        m.RussianHelp->trigger();
        QVERIFY(m.shownMessages.last().contains("ORVEXLINK_RU.hlp"));
        QFile file("Help/ORVEXLINK_EN.hlp");
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("<html><head><title>Guide</title></head><body><h1>Guide</h1></body></html>");
        file.close();
        m.EnglishHelp->trigger();
        auto* window = m.findChild<HelpWindow*>();
        QVERIFY(window && window->isVisible());
        QCOMPARE(window->windowTitle(), QString("Guide"));
        QCOMPARE(QDir::currentPath(), cwd);
    }
};

ORVEX_TEST(ServiceTest)
#include "service.moc"
