#include "tests/support/AppFixture.h"

#include "app/FileDialogs.h"
#include "app/TerminalFrm.h"
#include "html/ui/ModulePagesWindow.h"
#include "html/ui/WaitBox.h"
#include "panel/CtlPanelFrm.h"
#include "panel/ParamSpinBox.h"
#include "sim/SimServer.h"
#include "tests/support/TestMain.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QToolButton>
#include <QtTest>

// The program on the demo head-end where one window or subsystem hands over to another: a
// value written from the panel reaches the module's EEPROM whatever the user does next, the
// work loop goes on after a load, and what a module or a settings file says is taken with
// care. One program and one head-end for all cases, in order; the last one ends the program.
class SeamsGuiTest : public QObject {
    Q_OBJECT

    QTemporaryDir lineDir;
    std::unique_ptr<SimServer> sim;
    std::unique_ptr<AppFixture> f;
    QString startStatus;
    int startTimeout = 0;

    TMainFrm& m() { return f->main(); }
    SimHeadend& headend() { return sim->headend(); }
    void click(int g, int s) {
        if (m().pcModSwitch->currentIndex() != g)
            m().pcModSwitch->setCurrentIndex(g);
        m().slotButton(g, s)->click();
        settle(); // the idle step runs between two actions of a user
    }
    QWidget* control(int index) { return m().CtlPanelFrm->ParamControls.value(index).data(); }
    int committed(int g, int s, int param) {
        return headend().committedValue(g, s, param, 0).value_or(-1);
    }
    // One press of a spin box's up button; the value the module should end up with.
    int stepUp(int g, int s, int param) {
        const int before = headend().currentValue(g, s, param, 0).value_or(-1);
        auto* spin = qobject_cast<ParamSpinBox*>(control(param));
        if (!spin)
            return -1;
        QTest::keyClick(spin, Qt::Key_Up);
        return before + 1;
    }

private Q_SLOTS:
    void initTestCase() {
        SimProfile profile = demoProfile();
        for (SimSlotDef& d : profile.modules) {
            if (d.subrack == 1 && d.slot == 4)      // the power supply: a panel and a console
                d.module.params[0].flagChar = 0x40; // its 24 V output may be set
            if (d.subrack == 1 && d.slot == 0)
                d.module.pages.height = 5000; // pages taller than any screen
        }
        SimServerOptions options;
        options.linkPath = lineDir.filePath("headend");
        QString error;
        sim = SimServer::startPty(profile, &error, options);
        QVERIFY2(sim, qPrintable(error));
        headend().setResetMs(100);
        f = std::make_unique<AppFixture>(options.linkPath);
        // Four bytes of noise where the scan time-out belongs.
        QFile ini(f->dir.filePath("OXL.ini"));
        QVERIFY(ini.open(QIODevice::WriteOnly) && ini.write("\x15\xCD\x5B\x07", 4) == 4);
        ini.close();
        f->start();
        startStatus = m().statusText();
        startTimeout = m().link().ScanTimeout;
        f->scan();
    }
    void cleanupTestCase() {
        FileDialogs::clearAnswer();
        f.reset();
        sim.reset();
    }
    void init() { m().shownMessages.clear(); }

    void storedTimeOutOutOfRange() {
        QCOMPARE(startTimeout, 50);
        QCOMPARE(startStatus,
                 QString("The scan time-out in OXL.ini (123456789 ms) is out of range: 50 ms is "
                         "used."));
    }

    // After a console session from the panel, a spin step is committed again.
    void spinStepAfterTerminal() {
        click(1, 4);
        auto* console = qobject_cast<QPushButton*>(control(4));
        QVERIFY(console);
        console->click();
        QVERIFY(runUntil([&] { return headend().state(1, 4).consoleOpen; }));
        m().TerminalFrm->close();
        QVERIFY(
            runUntil([&] { return m().CtlPanelFrm->isVisible() && !m().state().ReloadRequest; }));
        const int value = stepUp(1, 4, 0);
        QVERIFY(runUntil([&] { return committed(1, 4, 0) == value; }));
    }

    // "Reset module" right after a step: the commit goes first, the value survives the reset.
    void resetKeepsTheStep() {
        click(0, 5);
        const int value = stepUp(0, 5, 1);
        m().ModReset->trigger();
        QCOMPARE(committed(0, 5, 1), value);
        QCOMPARE(m().shownMessages, QStringList());
    }

    // A module file whose load loses the line: the module is read again once the line is
    // back, without another scan.
    void loadLosingTheLine() {
        click(1, 7);
        FileDialogs::setAnswer(f->dir.filePath("orx.mst"));
        m().itmSaveMod->trigger();
        QCOMPARE(m().statusText(), QString("Done."));
        SimFaults lose;
        lose.closeLine = true;
        headend().setFaults(1, 7, lose);
        m().itmLoadModule->trigger();
        QString error;
        QVERIFY2(sim->reopenLine(&error), qPrintable(error));
        QVERIFY(runUntil([&] { return m().statusText() == "Module #8 selected"; }));
        QVERIFY(m().CtlPanelFrm->isVisible());
    }

    // A module that asks for a window taller than the screen gets none.
    void pagesTallerThanTheScreen() {
        QTimer closer; // without the check, the window would wait for the user
        connect(&closer, &QTimer::timeout, this, [] {
            if (ModulePagesWindow* w = ModulePagesWindow::instance(); w && w->isVisible())
                w->close();
        });
        closer.start(50);
        click(1, 0);
        QCOMPARE(m().shownMessages, QStringList{"Error: Invalid data."});
    }

    // A module's refusal and wait texts are shown as written, not as markup.
    void moduleTextsAsWritten() {
        const QString text("<b>Not now</b>");
        PagesMessage::setRecorder({});
        Qt::TextFormat shown = Qt::RichText;
        QTimer::singleShot(0, this, [&] {
            auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            QVERIFY(box);
            if (auto* label = box->findChild<QLabel*>("text"); label && label->text() == text)
                shown = label->textFormat();
            box->accept();
        });
        PagesMessage::show(&m(), text);
        PagesMessage::setRecorder([this](const QString& t) { m().shownMessages << t; });
        QCOMPARE(shown, Qt::PlainText);
        WaitBox wait(3, text, &m());
        QCOMPARE(wait.WaitPanel->text(), text);
        QCOMPARE(wait.WaitPanel->textFormat(), Qt::PlainText);
    }

    // Closing the program right after a step: the value reaches the EEPROM first.
    void exitKeepsTheStep() {
        click(1, 4);
        const int value = stepUp(1, 4, 0);
        m().close();
        QCOMPARE(committed(1, 4, 0), value);
    }
};

ORVEX_TEST(SeamsGuiTest)
#include "seams.moc"
