// One program with its windows on the demo head-end, in order: scan, selection, panel,
// service commands and the "File" menu, while the line misbehaves or vanishes (a USB adapter
// pulled): what the user sees, what reached the modules and the files, and that the next
// operation works once the adapter is back. Where one window hands over to another, a value
// written from the panel reaches the module's EEPROM whatever the user does next. The
// engine's own tests check the bytes and files of each path; these check what the windows add.
#include "app/CompareFrm.h"
#include "app/FileDialogs.h"
#include "app/Led.h"
#include "app/LiveValues.h"
#include "app/TerminalFrm.h"
#include "files/Backups.h"
#include "html/ui/ModulePagesWindow.h"
#include "html/ui/PageStatusBar.h"
#include "panel/CtlPanelFrm.h"
#include "panel/ParamSpinBox.h"
#include "tests/support/AppFixture.h"
#include "tests/support/DemoValues.h"
#include "tests/support/Expect.h"
#include "tests/support/TestMain.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QToolButton>
#include <QTreeWidget>
#include <QWebEngineView>
#include <QtTest>

namespace {
const QColor kRed(255, 0, 0), kGreen(0, 128, 0);
constexpr int kDemoModules = 12;
} // namespace

class HeadendTest : public QObject {
    Q_OBJECT
    QTemporaryDir lineDir;
    std::unique_ptr<SimServer> sim;
    std::unique_ptr<AppFixture> f;

    TMainFrm& m() { return f->main(); }
    SimHeadend& headend() { return sim->headend(); }
    QToolButton* button(int g, int s) { return m().slotButton(g, s); }
    QColor colour(int g, int s) { return button(g, s)->palette().color(QPalette::ButtonText); }
    void menu(QAction* item, const QString& file) {
        FileDialogs::setAnswer(file.isEmpty() ? file : QDir(f->dir.path()).filePath(file));
        item->trigger();
        settle();
    }
    int committed(int g, int s, int param) {
        return headend().committedValue(g, s, param, 0).value_or(-1);
    }
    // One press of a spin box's up button; the value the module should end up with.
    int stepUp(int g, int s, int param) {
        const int before = headend().currentValue(g, s, param, 0).value_or(-1);
        auto* spin = f->control<ParamSpinBox>(param);
        if (!spin)
            return -1;
        QTest::keyClick(spin, Qt::Key_Up);
        return before + 1;
    }
    // The line vanishes when the module at g/s is next addressed.
    void cutAt(int g, int s) {
        headend().setFaults(g, s, faults([](SimFaults& x) { x.closeLine = true; }));
    }
    // The adapter comes back under the same name.
    void lineBack() {
        QString error;
        QVERIFY2(sim->reopenLine(&error), qPrintable(error));
        m().shownMessages.clear();
    }
    // The lost port shown (with its message as the only one, when asked), the controls
    // usable again; then the adapter comes back. The program hears of the lost port from the
    // port's own error, which may come after the operation that met it has ended: waited for.
    void lostThenBack(bool itsMessage = true) {
        QVERIFY2(runUntil([&] { return m().statusText().startsWith("Serial port lost at "); }),
                 qPrintable(m().statusText()));
        if (itsMessage) {
            QCOMPARE(m().shownMessages.size(), 1);
            EXPECT_STARTS(m().shownMessages.first(), "The serial port was lost (");
        }
        QVERIFY(m().btRestart->isEnabled() && m().pcModSwitch->isEnabled());
        QVERIFY(!m().statusProgress->isVisible());
        lineBack();
    }
    // A slot selected as ever: its panel, its status, nothing to complain about.
    void selectsAgain(int g, int s) {
        f->click(g, s);
        QVERIFY(m().CtlPanelFrm->isVisible());
        QCOMPARE(m().statusText(), QString("Module #%1 selected").arg(s + 1));
        QCOMPARE(m().shownMessages, QStringList());
    }

private Q_SLOTS:
    void initTestCase() {
        SimProfile profile = demoProfile();
        for (SimSlotDef& d : profile.modules)
            if (d.subrack == 1 && d.slot == 4)      // the power supply: a panel and a console
                d.module.params[0].flagChar = 0x40; // its 24 V output may be set
        SimParamDef temperature;                    // a measured value on the special address
        temperature.type = 'D';
        temperature.flagChar = 0x44;
        temperature.name = "Temperature";
        temperature.count = 100;
        temperature.values = {40};
        profile.special.params << temperature;
        const SimServerOptions options{.linkPath = lineDir.filePath("headend")};
        sim = startDemo(options, profile);
        f = std::make_unique<AppFixture>(options.linkPath, QStringList{"orvex-link", "/k"});
        f->start();
        QVERIFY(f->scan());
    }
    void cleanupTestCase() {
        FileDialogs::clearAnswer();
        f.reset();
        sim.reset();
    }
    void init() {
        m().shownMessages.clear();
        headend().clearLog();
    }
    void cleanup() {
        headend().clearFaults();
        // A case that failed before its line came back leaves the next one a working line.
        sim->waitUntilSent(2000);
        if (!sim->endpoint().isOpen())
            lineBack();
    }

    void scanned() {
        QCOMPARE(m().statusText(), QString("%1 Modules found").arg(kDemoModules));
        QCOMPARE(colour(0, 0), kGreen);
        QCOMPARE(colour(0, 2), kRed); // its diagnostic bytes report a fault
        QVERIFY(m().pcModSwitch->isTabVisible(1) && m().pcModSwitch->isEnabled());
        QVERIFY(!m().btInfo->isEnabled() && !m().link().ComPort().isOpen());
        QCOMPARE(m().ldReady->currentColor(), QColor(0, 255, 0));
        FileDialogs::setAnswer("never.mst");
        m().itmSaveMod->trigger(); // nothing selected yet
        QCOMPARE(m().shownMessages, QStringList{"You must select module at first"});
        QVERIFY(FileDialogs::asked().isEmpty());
    }

    // An open panel costs no processor time; a commit still pending goes to its module before
    // the program turns to another (none left pending then: panel.PanelTest; a re-read that
    // waits for a write: link.LinkTest).
    void workLoop() {
        f->click(0, 0);
        const double cpu = cpuShareWhileIdle(1500); // a panel open, nothing to do: it sleeps
        QVERIFY2(cpu < 0.1, qPrintable(QString::number(cpu)));
        const int commits = headend().state(0, 0).commits;
        m().CtlPanelFrm->SetCommitTimer(true);
        f->click(0, 1);
        QCOMPARE(headend().state(0, 0).commits, commits + 1);
    }

    // The line vanishes when the panel's write reaches the module: the list does not claim
    // what the module does not hold. Back, the same change reaches the module's EEPROM.
    void writeFromThePanel() {
        f->click(0, 0);
        cutAt(0, 0);
        f->control(6)->setCurrentIndex(1);
        lostThenBack();
        QCOMPARE(headend().committedValue(0, 0, 6, 0), std::optional<int>(0));
        QCOMPARE(f->control(6)->currentIndex(), 0);
        QCOMPARE(f->control(6)->palette().color(QPalette::Text), kRed);
        QCOMPARE(m().currentModule()->Params[6].Values[0], 0);
        f->click(0, 0);
        f->control(6)->setCurrentIndex(1);
        QCOMPARE(m().shownMessages, QStringList());
        QCOMPARE(headend().committedValue(0, 0, 6, 0), std::optional<int>(1));
        f->control(6)->setCurrentIndex(0);
    }

    // The line vanishes when the load reaches the power supply of subrack 2 (what the load
    // wrote and says: files.SaveLoadTest): the work loop is stopped and a scan asked for, which
    // runs by itself once the line is back. (The save that loses the line: the same engine
    // test; the next loads of this program: changedModuleAgainstTheBackup, closingDuringALoad.)
    void configurationLoad() {
        menu(m().itmSaveConfig, "headend.mmh");
        cutAt(1, 4);
        m().itmLoadConfig->trigger();
        lostThenBack();
        QVERIFY(f->scanned());
    }

    // The line vanishes in the middle of a console session.
    void terminalSession() {
        f->click(0, 8);
        QVERIFY(runUntil(
            [&] { return m().state().TerminalMode && headend().state(0, 8).consoleOpen; }));
        sim->closeLine();
        QVERIFY(runUntil([&] { return !m().TerminalFrm->isVisible(); }));
        lostThenBack(false);
        selectsAgain(0, 0);
    }

    // A module file whose load loses the line: the module is read again once the line is
    // back, without another scan, and its panel and "Diag" are usable.
    void loadLosingTheLine() {
        f->click(1, 7);
        menu(m().itmSaveMod, "orx.mst");
        QCOMPARE(m().statusText(), QString("Done."));
        cutAt(1, 7);
        m().itmLoadModule->trigger();
        lineBack();
        QVERIFY(runUntil([&] { return m().statusText() == "Module #8 selected"; }));
        QVERIFY(m().CtlPanelFrm->isVisible() && m().btInfo->isEnabled());
    }

    // After a console session from the panel, a spin step is committed again.
    void spinStepAfterTerminal() {
        f->click(1, 4);
        auto* console = f->control<QPushButton>(4);
        QVERIFY(console);
        console->click();
        QVERIFY(runUntil([&] { return headend().state(1, 4).consoleOpen; }));
        const int rereads = f->rereads;
        m().TerminalFrm->close(); // the module is read again
        QVERIFY(runUntil([&] { return m().CtlPanelFrm->isVisible() && f->rereads > rereads; }));
        const int value = stepUp(1, 4, 0);
        QVERIFY(runUntil([&] { return committed(1, 4, 0) == value; }));
    }

    // The line vanishes while the pages window serves a page; the window closes even while
    // a request is still being served, and nothing else opens the port meanwhile.
    void pageFetch() {
        QString pageStatus;
        QColor pageColour;
        bool started = false, closedWhileServing = false, linkOpenedMeanwhile = false;
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            ModulePagesWindow* w = ModulePagesWindow::instance();
            linkOpenedMeanwhile |= w && m().link().ComPort().isOpen();
            if (started || !w || !w->isVisible())
                return;
            started = true;
            const QUrl start = w->Browser->url();
            cutAt(1, 0);
            w->Browser->load(start.resolved(QUrl("settings.html")));
            runUntil([&] { return !w->StatusBar->text().isEmpty(); }, 20000);
            pageStatus = w->StatusBar->text();
            pageColour = w->StatusBar->textColour();
            w->Browser->load(start); // another request on the dead line, closed while served
            runFor(300);
            closedWhileServing = true;
            w->close();
        });
        poll.start(5);
        // A re-read asked for just before (another channel of 1/1) is not served while the pages
        // hold the line.
        f->click(0, 0);
        f->control(0)->setCurrentIndex(1);
        f->click(1, 0); // returns when the pages window has closed
        QVERIFY(!linkOpenedMeanwhile && closedWhileServing);
        QCOMPARE(pageStatus, QString("Error: No response."));
        QCOMPARE(pageColour, kRed);
        // The re-read waited for the window and now meets a line that is still gone. It runs
        // from the work loop after the window has gone: waited for.
        QVERIFY(runUntil([&] { return !m().shownMessages.isEmpty(); }));
        QVERIFY(!button(1, 0)->isChecked());
        lineBack();
        selectsAgain(1, 7);
    }

    // The line lost during a scan (garbled replies: what the record ends up with,
    // robust.RepliesTest; the message after the scan, link.LinkTest; modules that answer some
    // selects only: link.LinkTest).
    void scanLineLost() {
        cutAt(1, 7);
        m().shownMessages.clear();
        QVERIFY(!f->scan());
        lostThenBack();
        headend().clearLog();
        settle(); // stopped: no scan again by itself
        QCOMPARE(headend().received(), QByteArray());
        QVERIFY(f->scan());
        QCOMPARE(button(0, 6)->text(), QString("CC-2"));
    }

    // The amplifier's gain changed after the backup, and the amplifier keeps its values
    // whatever is written to it: the hint after the scan, "Compare with file…" and its "Load
    // this file", and the check of what the load left in it.
    void changedModuleAgainstTheBackup() {
        DemoValues demo;
        const QString folder = f->dir.filePath("backups");
        QVERIFY(QDir().mkpath(folder));
        const QString backup = Backups::newName(folder, QDateTime::currentDateTime());
        menu(m().itmSaveConfig, backup);
        menu(m().itmBackupFolder, folder);
        const int raised = demo.gainRaw() + 3;
        f->click(0, 5);
        QVERIFY(m().link().SelectModule(0, 5) && m().link().WriteValue(0, raised));
        m().link().CommitEEPROM(5, 0);
        headend().setFaults(0, 5, faults([](SimFaults& x) { x.ignoreWrites = true; }));
        QVERIFY(f->scan());
        QVERIFY2(m().statusText().endsWith(
                     QString("; 1/6 differs from backup %1").arg(QFileInfo(backup).fileName())),
                 qPrintable(m().statusText()));

        // The images are read only once their box is ticked, which names the modules first.
        QStringList row, restarted;
        QString box;
        QTimer watch;
        connect(&watch, &QTimer::timeout, this, [&] {
            auto* window = qobject_cast<TCompareFrm*>(QApplication::activeModalWidget());
            if (!window)
                return;
            watch.stop();
            restarted = restartFrames(headend().received());
            box = window->cbImages->text();
            window->cbImages->click();
            restarted << "|" << restartFrames(headend().received());
            for (int i = 0; i < window->lvDiffs->topLevelItemCount(); ++i)
                for (int c = 0; c < 4; ++c)
                    row << window->lvDiffs->topLevelItem(i)->text(c);
            row << window->lbLoad->text();
            headend().clearLog();
            window->btLoad->click();
        });
        watch.start(20);
        FileDialogs::setAnswer(backup);
        headend().clearLog();
        m().itmCompare->trigger();
        QCOMPARE(FileDialogs::asked().first().initial, backup); // it opens on the backup
        EXPECT_HAS(box, "restarts its module: 1/9 NC-100, 2/3 RPR-4");
        QCOMPARE(restarted, QStringList({"|", "&1/9", "71/9", "&2/3", "72/3"}));
        const QString amplifier = "1/6 " + demo.module(0, 5).type;
        QCOMPARE(row, QStringList({amplifier, "parameter 0 (Gain)", demo.gainShown(demo.gainRaw()),
                                   demo.gainShown(raised),
                                   "Loading writes only the modules that differ; each restarts "
                                   "after it: " +
                                       amplifier + "."}));

        // "Load this file" loads the module that differs, no other; the scan after it finds
        // the gain not taken and says so instead of a silent "Done.".
        QVERIFY(f->scanned());
        QCOMPARE(restartFrames(headend().received()), QStringList{"71/6"});
        QCOMPARE(m().statusText(), QString(" Errors found"));
        QCOMPARE(m().messageLog.entries().last().text,
                 QString("Loaded %1 into 1 module; 1 module did not keep a value")
                     .arg(QFileInfo(backup).fileName()));
    }

    // After "Default params" and after "Load Module" the open panel shows what the module
    // holds, not the step it showed before.
    void panelShowsWhatTheModuleHolds() {
        DemoValues demo;
        f->click(0, 5);
        menu(m().itmSaveMod, "amp.mst");
        const auto shows = [&] {
            auto* gain = f->control<ParamSpinBox>(0);
            return gain && gain->text() + " dB" ==
                               demo.gainShown(headend().currentValue(0, 5, 0, 0).value());
        };
        for (QAction* item : {m().ModDefaults, m().itmLoadModule}) {
            const int stepped = stepUp(0, 5, 0);
            QVERIFY(runUntil([&] { return committed(0, 5, 0) == stepped; }));
            menu(item, "amp.mst");
            QVERIFY(runUntil(shows));
        }
    }

    // "Reset module" right after a step: the commit goes first, the value survives the reset.
    void resetKeepsTheStep() {
        f->click(0, 5);
        const int value = stepUp(0, 5, 1);
        m().ModReset->trigger();
        QCOMPARE(committed(0, 5, 1), value);
        QCOMPARE(m().shownMessages, QStringList());
    }

    // Defaults taken with ">" are read again, not committed once more. The special address is
    // shown in slot 1/1's place, from a record of its own (1/1 on its third channel), and read,
    // live too, and written where it answers; then 1/1 is itself.
    void serviceCommands() {
        f->click(0, 0);
        int rereads = f->rereads;
        f->control(0)->setCurrentIndex(2); // the channel: the module is read again
        QVERIFY(runUntil([&] { return f->rereads > rereads; }));
        f->click(0, 5);
        headend().clearLog();
        rereads = f->rereads;
        m().ModDefaultsClick();
        QVERIFY(runUntil([&] { return f->rereads > rereads; }));
        QCOMPARE(m().statusText(), QString("Module #6 defaults loaded."));
        EXPECT_BYTES(headend().received(), "!>\r!>\r!>\r!\xC0\x85!\xC0\x85!2\r");
        headend().clearLog();
        m().ModReset->trigger();
        EXPECT_BYTES(headend().received(), "!7\r");
        QCOMPARE(m().statusText(), QString("Module #6 reset."));
        QVERIFY(!m().CtlPanelFrm->isVisible() && m().sbM[5]->isChecked());
        headend().clearLog();
        m().SpecAddr->trigger();
        QCOMPARE(m().statusText(), QString("Special address selected."));
        EXPECT_STARTS(m().CtlPanelFrm->caption(), "Module #1:  BC-2");
        QCOMPARE(f->control(1)->currentText() + "/" + f->control(2)->currentText(),
                 QString("1 s/On"));
        QVERIFY(headend().setMeasured(0, 16, 3, 41));
        const int reads = m().liveValues->reads();
        m().liveValues->setIntervalMs(20);
        QVERIFY(runUntil([&] { return f->control<QLineEdit>(3)->text() == "41"; }));
        m().liveValues->setIntervalMs(0);
        f->control(1)->setCurrentIndex(3);
        const QByteArray select("!\xC0\x90!\xC0\x90");
        EXPECT_BYTES(headend().received(),
                     select + "!0\r!2\r!;\r" +
                         (select + "!2\r").repeated(m().liveValues->reads() - reads) +
                         "!51\n3\r!6\r");
        QCOMPARE(headend().committedValue(0, 16, 1, 0), std::optional<int>(3));
        f->click(0, 0);
        QCOMPARE(f->control(0)->currentIndex(), 2);
        f->control(0)->setCurrentIndex(0);
    }
    // Closing while a configuration loads: a request to close waits for the load at hand, a
    // second one stops it after the module at hand, nothing is left half written, and the
    // program closes as it always does.
    void closingDuringALoad() {
        menu(m().itmSaveConfig, "headend.mmh");
        const int secondCommits = headend().state(0, 1).commits;
        headend().clearLog();
        QStringList said; // both requests come as the first module's first value goes out
        const QMetaObject::Connection closer = connect(
            &m().lineObserver, &LineObserver::frame, this,
            [&](const LineFrame& frame) {
                if (!said.isEmpty() || frame.dir != '>' || !frame.bytes.startsWith("!5"))
                    return;
                m().close();
                said << m().statusText() << QString::number(m().isVisible());
                m().close();
                said << m().statusText();
            },
            Qt::DirectConnection);
        m().itmLoadConfig->trigger();
        disconnect(closer);
        QCOMPARE(said,
                 QStringList({"Closing once the load has ended. Close again to stop it after "
                              "the module at hand.",
                              "1", "Stopping the load after the module at hand; then closing."}));
        EXPECT_HAS(headend().received(), "!6\r");
        QCOMPARE(headend().state(0, 1).commits, secondCommits);
        QCOMPARE(m().shownMessages.size(), 1);
        EXPECT_STARTS(m().shownMessages.first(),
                      "Loading stopped. Not loaded: 1/2, 1/3, 1/4, 1/6,");
        QVERIFY(runUntil([&] { return !m().isVisible(); }));
        QVERIFY(QFile::exists("OXL.ini") && !m().link().ComPort().isOpen());
    }
    // Closing the program (started again) right after a step: the value reaches the EEPROM
    // first.
    void exitKeepsTheStep() {
        f->start();
        QVERIFY(f->scan());
        f->click(1, 4);
        const int value = stepUp(1, 4, 0);
        m().close();
        QCOMPARE(committed(1, 4, 0), value);
    }
};

ORVEX_TEST(HeadendTest)
#include "seams.moc"
