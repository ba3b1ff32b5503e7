#include "tests/app/AppFixture.h"
#include "tests/support/TestMain.h"

#include "app/FileDialogs.h"
#include "sim/SimServer.h"

#include <QAction>
#include <QFile>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>

// The whole demo head-end saved to a configuration file and loaded back through the menu,
// with pictures of each stage (ORVEX_SCREENSHOTS).
class FileMenuHeadendTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void saveAndLoadTheDemo() {
        QString error;
        auto sim = SimServer::startPty(demoProfile(), &error);
        QVERIFY2(sim, qPrintable(error));
        sim->headend().setResetMs(100);
        AppFixture f(sim->slavePath());
        TMainFrm& m = f.start();
        m.btRestart->click();
        QVERIFY(runUntil([&] { return m.state().IdleState == 3; }, 60000));
        const int found = m.state().FoundCount;
        AppFixture::screenshot(&m, "filemenu-1-scanned");

        // Pictures of the status bar while the work goes on: marks and the progress bar.
        int shots = 0;
        QTimer watch;
        connect(&watch, &QTimer::timeout, this, [&] {
            const QProgressBar* bar = m.statusProgress;
            if (shots < 2 && bar->isVisible() && bar->value() * 2 >= bar->maximum()) {
                AppFixture::screenshot(&m, shots == 0 ? "filemenu-2-saving" : "filemenu-4-loading");
                ++shots;
            }
        });
        watch.start(20);

        const QString file = f.dir.filePath("demo.mmh");
        FileDialogs::setAnswer(file);
        m.itmSaveConfig->trigger();
        QVERIFY(m.statusText().startsWith("Done."));
        QVERIFY(!m.statusProgress->isVisible());
        QVERIFY(m.btRestart->isEnabled());
        AppFixture::screenshot(&m, "filemenu-3-saved");
        QFile saved(file);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll().count("\r\nMOD\r\n"), found);
        const auto amp = sim->headend().state(0, 5).committed;

        // The amplifier's gain changed behind the file's back.
        QVERIFY(m.link().SelectModule(0, 5));
        QVERIFY(m.link().WriteValue(0, amp[0][0] + 2));
        m.link().CommitEEPROM(5, 0);
        QVERIFY(sim->headend().state(0, 5).committed != amp);
        shots = qMax(shots, 1);

        m.itmLoadConfig->trigger();
        QCOMPARE(m.statusText(), QString("Done."));
        QVERIFY(m.shownMessages.isEmpty());
        QCOMPARE(sim->headend().state(0, 5).committed, amp);
        AppFixture::screenshot(&m, "filemenu-5-loaded");
        // A scan follows the load.
        QCOMPARE(m.state().IdleState, quint8(2));
        QVERIFY(runUntil([&] { return m.state().IdleState == 3; }, 60000));
        QCOMPARE(m.statusText(), QString::number(found) + " Modules found");
        AppFixture::screenshot(&m, "filemenu-6-rescanned");
        FileDialogs::clearAnswer();
    }
};

ORVEX_TEST(FileMenuHeadendTest)
#include "filemenu_headend.moc"
