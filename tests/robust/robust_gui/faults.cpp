#include "tests/app/AppFixture.h"
#include "tests/support/TestMain.h"

#include "app/DiagFrm.h"
#include "app/FileDialogs.h"
#include "app/TerminalFrm.h"
#include "html/ui/ModulePagesWindow.h"
#include "html/ui/PageStatusBar.h"
#include "panel/CtlPanelFrm.h"
#include "sim/SimServer.h"

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QToolButton>
#include <QWebEngineView>
#include <QtTest>

namespace {
const QColor kRed(255, 0, 0);
const QColor kGreen(0, 128, 0);
constexpr int kDemoModules = 12;
} // namespace

// The whole program on the demo head-end while its line misbehaves: what the user sees, what
// reached the modules and the files, and that the next operation works once the line is back.
// One program and one head-end for all cases, in order; each case leaves the line working.
class HeadendFaultsTest : public QObject {
    Q_OBJECT

    QTemporaryDir lineDir;
    std::unique_ptr<SimServer> sim;
    std::unique_ptr<AppFixture> f;

    TMainFrm& m() { return f->main(); }
    SimHeadend& headend() { return sim->headend(); }
    QString caption(int g, int s) { return m().slotButton(g, s)->text(); }
    QColor captionColour(int g, int s) {
        return m().slotButton(g, s)->palette().color(QPalette::ButtonText);
    }
    void click(int g, int s) {
        if (m().pcModSwitch->currentIndex() != g)
            m().pcModSwitch->setCurrentIndex(g);
        m().slotButton(g, s)->click();
        runFor(50); // the idle step runs between two actions of a user
    }
    template <class Set> void fault(int g, int s, Set set) {
        SimFaults faults;
        set(faults);
        headend().setFaults(g, s, faults);
    }
    void scan() {
        m().btRestart->click();
        QVERIFY(runUntil([&] { return m().state().IdleState == 3; }, 60000));
    }
    // The adapter comes back under the same name.
    void lineBack() {
        QString error;
        QVERIFY2(sim->reopenLine(&error), qPrintable(error));
        m().shownMessages.clear();
    }
    void portLostShown() {
        QCOMPARE(m().shownMessages.size(), 1);
        QVERIFY2(m().shownMessages.first().startsWith("The serial port was lost ("),
                 qPrintable(m().shownMessages.first()));
        QVERIFY2(m().statusText().startsWith("Serial port lost at "), qPrintable(m().statusText()));
    }
    QString path(const QString& name) { return f->dir.filePath(name); }
    QByteArray fileBytes(const QString& name) {
        QFile in(path(name));
        return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
    }
    void writeFile(const QString& name, const QByteArray& bytes) {
        QFile out(path(name));
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(bytes);
    }
    // A menu command, then the idle step as it runs before a user's next action.
    void menu(QAction* item) {
        item->trigger();
        runFor(50);
    }
    void controlsUsable() {
        QVERIFY(m().btRestart->isEnabled());
        QVERIFY(m().pcModSwitch->isEnabled());
        QVERIFY(!m().statusProgress->isVisible());
    }

private Q_SLOTS:
    void initTestCase() {
        SimServerOptions options;
        options.linkPath = lineDir.filePath("headend");
        QString error;
        sim = SimServer::startPty(demoProfile(), &error, options);
        QVERIFY2(sim, qPrintable(error));
        headend().setResetMs(100);
        f = std::make_unique<AppFixture>(options.linkPath);
        f->start();
        scan();
        QCOMPARE(m().state().FoundCount, kDemoModules);
    }
    void cleanupTestCase() {
        FileDialogs::clearAnswer();
        f.reset();
        sim.reset();
    }
    void init() { m().shownMessages.clear(); }
    void cleanup() {
        headend().clearFaults();
        // A case that failed before its line came back leaves the next one a working line.
        sim->waitUntilSent(2000);
        if (!sim->endpoint().isOpen())
            lineBack();
    }

    // The line vanishes when the panel's write reaches the module.
    void writeFromThePanel() {
        click(0, 0);
        QVERIFY(m().CtlPanelFrm->isVisible());
        auto* spectrum = qobject_cast<QComboBox*>(m().CtlPanelFrm->ParamControls.value(6).data());
        QVERIFY(spectrum);
        QCOMPARE(spectrum->currentIndex(), 0);
        fault(0, 0, [](SimFaults& x) { x.closeLine = true; });
        spectrum->setCurrentIndex(1);
        portLostShown();
        QCOMPARE(headend().currentValue(0, 0, 6, 0), std::optional<int>(0));
        QCOMPARE(headend().committedValue(0, 0, 6, 0), std::optional<int>(0));
        // The list does not claim what the module does not hold.
        QCOMPARE(spectrum->currentIndex(), 0);
        QCOMPARE(spectrum->palette().color(QPalette::Text), kRed);
        QCOMPARE(m().currentModule()->Params[6].Values[0], 0);

        lineBack();
        click(0, 0);
        spectrum = qobject_cast<QComboBox*>(m().CtlPanelFrm->ParamControls.value(6).data());
        QCOMPARE(spectrum->currentIndex(), 0);
        spectrum->setCurrentIndex(1);
        QCOMPARE(m().shownMessages, QStringList());
        QCOMPARE(headend().committedValue(0, 0, 6, 0), std::optional<int>(1));
        spectrum->setCurrentIndex(0);
        QCOMPARE(headend().committedValue(0, 0, 6, 0), std::optional<int>(0));
    }

    // The line vanishes when the save reaches the image module of subrack 2.
    void configurationSave() {
        writeFile("headend.mmh", "earlier");
        fault(1, 2, [](SimFaults& x) { x.closeLine = true; });
        FileDialogs::setAnswer(path("headend.mmh"));
        menu(m().itmSaveConfig);
        QCOMPARE(m().shownMessages, QStringList{"File I/O error."});
        QVERIFY2(m().statusText().startsWith("Serial port lost at "), qPrintable(m().statusText()));
        QCOMPARE(fileBytes("headend.mmh"), QByteArray("earlier"));
        controlsUsable();

        lineBack();
        menu(m().itmSaveConfig);
        QCOMPARE(m().shownMessages, QStringList());
        QCOMPARE(m().statusText(), QString("Done."));
        QCOMPARE(int(fileBytes("headend.mmh").count("\r\nMODEND\r\n")), kDemoModules);
    }

    // A wrong checksum in the answer to the first special command of an image dump.
    void specialReplyChecksum() {
        fault(1, 2, [](SimFaults& x) { x.badChecksums = 1; });
        FileDialogs::setAnswer(path("checksum.mmh"));
        menu(m().itmSaveConfig);
        QCOMPARE(m().shownMessages, QStringList());
        QCOMPARE(m().statusText(), QString("Done. Errors found"));
        const QByteArray saved = fileBytes("checksum.mmh");
        QVERIFY(saved.contains("RPR-4\r\n" + m().Modules().at(2, 1)->VersionText.toLatin1() +
                               "\r\nEEPROM\r\nERROR -1\r\nMODEND\r\n"));
        QCOMPARE(int(saved.count("\r\nMODEND\r\n")), kDemoModules);
    }

    // The line vanishes when the load reaches the power supply of subrack 2.
    void configurationLoad() {
        // Three blocks of the saved head-end keep the case short: the amplifier, the power
        // supply (where the line vanishes) and the optical receiver.
        const QByteArray saved = fileBytes("headend.mmh");
        QByteArray three = saved.left(saved.indexOf("MOD\r\n"));
        for (const QByteArray& address : {"0 5 ", "1 4 ", "1 7 "}) {
            const qsizetype at = saved.indexOf("MOD\r\n" + address);
            QVERIFY(at >= 0);
            three += saved.mid(at, saved.indexOf("MODEND\r\n", at) + 8 - at);
        }
        writeFile("three.mmh", three);
        const int resetsBefore = headend().state(0, 5).resets;
        fault(1, 4, [](SimFaults& x) { x.closeLine = true; });
        FileDialogs::setAnswer(path("three.mmh"));
        m().itmLoadConfig->trigger();
        portLostShown();
        // The blocks before it were applied (and the message says the load did not finish);
        // the head-end is scanned again, as after every load.
        QVERIFY(headend().state(0, 5).resets > resetsBefore);
        QCOMPARE(m().state().IdleState, quint8(2));
        controlsUsable();

        lineBack();
        scan();
        QCOMPARE(m().state().FoundCount, kDemoModules);
        m().itmLoadConfig->trigger(); // the rescan that follows runs from the idle step
        QCOMPARE(m().shownMessages, QStringList());
        QCOMPARE(m().statusText(), QString("Done."));
        QVERIFY(runUntil([&] { return m().state().IdleState == 3; }, 60000));
    }

    // An image module that keeps answering "busy" to every image line.
    void imageLinesRefused() {
        click(1, 2);
        QVERIFY(m().CtlPanelFrm->isVisible());
        FileDialogs::setAnswer(path("rpr.mst"));
        menu(m().itmSaveMod);
        QCOMPARE(m().statusText(), QString("Done."));
        const QStringList image = headend().eepromImage(1, 2);
        // Busy for every line and every repetition.
        fault(1, 2, [](SimFaults& x) { x.eepromBusy = 100; });
        m().itmLoadModule->trigger(); // the module is read again from the idle step
        QCOMPARE(m().statusText(), QString(" Errors found"));
        QCOMPARE(m().shownMessages.size(), 1);
        const QStringList lines = m().shownMessages.first().split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), image.size()); // one per refused line
        QCOMPARE(lines.first(), QString("Error: Module 2/3 can't write EEPROM"));
        QCOMPARE(headend().eepromImage(1, 2), image);
    }

    // The line vanishes in the middle of a console session.
    void terminalSession() {
        click(0, 8);
        QVERIFY(runUntil([&] { return m().state().TerminalMode; }));
        QVERIFY(runUntil([&] { return headend().state(0, 8).consoleOpen; }));
        sim->closeLine();
        QVERIFY(runUntil([&] { return !m().TerminalFrm->isVisible(); }));
        QVERIFY2(m().statusText().startsWith("Serial port lost at "), qPrintable(m().statusText()));
        controlsUsable();

        lineBack();
        click(0, 0);
        QVERIFY(m().CtlPanelFrm->isVisible());
        QCOMPARE(m().statusText(), QString("Module #1 selected"));
        QCOMPARE(m().shownMessages, QStringList());
    }

    // The line vanishes while the pages window serves a page; the window closes even while
    // a request is still being served.
    void pageFetch() {
        QString pageStatus;
        QColor pageColour;
        bool closedWhileServing = false;
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            ModulePagesWindow* w = ModulePagesWindow::instance();
            if (!w || !w->isVisible())
                return;
            poll.stop();
            const QUrl start = w->Browser->url();
            fault(1, 0, [](SimFaults& x) { x.closeLine = true; });
            w->Browser->load(start.resolved(QUrl("settings.html")));
            runUntil([&] { return !w->StatusBar->text().isEmpty(); }, 20000);
            pageStatus = w->StatusBar->text();
            pageColour = w->StatusBar->textColour();
            AppFixture::screenshot(w, "robust-page-line-lost");
            // Another request on the dead line, and the window closed while it is served.
            w->Browser->load(start);
            runFor(300);
            closedWhileServing = true;
            w->close();
        });
        poll.start(50);
        // Nothing else may open the program's port while the pages hold the line.
        bool linkOpenedMeanwhile = false;
        QTimer watchLink;
        connect(&watchLink, &QTimer::timeout, this, [&] {
            if (ModulePagesWindow::instance() && m().link().ComPort().isOpen())
                linkOpenedMeanwhile = true;
        });
        watchLink.start(5);
        // A re-read asked for just before (a console closed, a typed value) is not served
        // while the pages window holds the line.
        m().state().ReloadRequest = true;
        click(1, 0); // returns when the pages window has closed
        QVERIFY(!linkOpenedMeanwhile);
        QVERIFY(closedWhileServing);
        QCOMPARE(pageStatus, QString("Error: No response."));
        QCOMPARE(pageColour, kRed);
        // The re-read waited for the window and now meets a line that is still gone: the
        // device is either gone already or hangs up once opened, as the simulator's close
        // goes.
        QCOMPARE(m().shownMessages.size(), 1);
        const QString& lost = m().shownMessages.first();
        QVERIFY2(lost.startsWith("The serial port cannot be opened") ||
                     lost.startsWith("The serial port was lost"),
                 qPrintable(lost));
        QVERIFY(!m().slotButton(1, 0)->isChecked());

        lineBack();
        click(1, 7);
        QVERIFY(m().CtlPanelFrm->isVisible());
        QCOMPARE(m().statusText(), QString("Module #8 selected"));
        QCOMPARE(m().shownMessages, QStringList());
    }

    // A scan over modules that answer one select of three, two of three, garble everything
    // they say, or leave their info block unterminated.
    void scanWithMisbehavingModules() {
        fault(0, 1, [](SimFaults& x) { x.selectPattern = "100"; });
        fault(0, 2, [](SimFaults& x) { x.selectPattern = "101"; });
        fault(0, 5, [](SimFaults& x) { x.garbleReplies = -1; });
        fault(0, 6, [](SimFaults& x) { x.unterminated = 1; });
        scan();
        // The garbled replies that could not be read at all are named after the scan.
        QCOMPARE(m().shownMessages.size(), 1);
        QVERIFY2(m().shownMessages.first().startsWith("Group#1 Module #6: "),
                 qPrintable(m().shownMessages.first()));
        QCOMPARE(m().state().FoundCount, kDemoModules - 1);
        QCOMPARE(m().statusText(), QString("%1 Modules found").arg(kDemoModules - 1));
        QCOMPARE(caption(0, 1), QString("-"));
        QCOMPARE(caption(0, 2), QString("RX-S2"));
        QCOMPARE(captionColour(0, 2), kRed); // its own diagnostic fault
        // Unreadable diagnostic bytes are not shown as a healthy module.
        QCOMPARE(caption(0, 5), QString("LA-862"));
        QCOMPARE(captionColour(0, 5), kRed);
        // No info block: a module is there, but nothing is known of it.
        QCOMPARE(caption(0, 6), QString());
        QCOMPARE(m().Modules().at(6, 0)->ParamCount, 0);

        // Its report says what could not be read, and does not call it healthy.
        click(0, 5);
        m().btInfo->click();
        QVERIFY(m().DiagFrm);
        const QString report = m().DiagFrm->mmDiag->toPlainText();
        QVERIFY2(report.contains("Diagnostic bytes reply: "), qPrintable(report));
        QVERIFY2(!report.contains("Diagnostic OK."), qPrintable(report));
        m().btInfo->click();

        headend().clearFaults();
        scan();
        QCOMPARE(m().state().FoundCount, kDemoModules);
        QCOMPARE(caption(0, 6), QString("CC-2"));
        QCOMPARE(captionColour(0, 5), kGreen);
    }
};

ORVEX_TEST(HeadendFaultsTest)
#include "faults.moc"
