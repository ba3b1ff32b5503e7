// The windows: a backup folder, the hint after a scan, "Compare with file…" and its "Load
// this file", and the check of what the load left in the modules.
#include "tests/support/AppFixture.h"
#include "tests/support/DemoValues.h"
#include "tests/support/LinkFixture.h"
#include "tests/support/TestMain.h"

#include "app/CompareFrm.h"
#include "app/FileDialogs.h"
#include "files/Backups.h"
#include "sim/SimServer.h"

#include <QAction>
#include <QApplication>
#include <QTreeWidget>
#include <QtTest>

class CompareWindowTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void cleanup() { FileDialogs::clearAnswer(); }

    void swappedModuleAgainstTheBackup() {
        DemoValues demo;
        auto sim = startDemo();
        AppFixture f(sim->slavePath());
        TMainFrm& m = f.start();
        // The amplifier's gain was set a little higher, and the head-end backed up.
        const int raised = demo.gainRaw() + 3;
        QVERIFY(m.link().SelectModule(0, 5));
        QVERIFY(m.link().WriteValue(0, raised));
        m.link().CommitEEPROM(5, 0);
        QVERIFY(f.scan());
        const QString folder = f.dir.filePath("backups");
        QVERIFY(QDir().mkpath(folder));
        const QString backup = Backups::newName(folder, QDateTime::currentDateTime());
        FileDialogs::setAnswer(backup);
        m.itmSaveConfig->trigger();
        FileDialogs::setAnswer(folder);
        m.itmBackupFolder->trigger();

        // Swapped for a new one, which acknowledges writes but keeps its factory values.
        sim->headend().swap(0, 5);
        SimFaults keeps;
        keeps.ignoreWrites = true;
        sim->headend().setFaults(0, 5, keeps);
        QVERIFY(f.scan());
        QVERIFY2(m.statusText().endsWith(
                     QString("; 1/6 differs from backup %1").arg(QFileInfo(backup).fileName())),
                 qPrintable(m.statusText()));

        QStringList row;
        QTimer watch;
        connect(&watch, &QTimer::timeout, this, [&] {
            auto* window = qobject_cast<TCompareFrm*>(QApplication::activeModalWidget());
            if (!window)
                return;
            watch.stop();
            AppFixture::screenshot(window, "compare-swap");
            QCOMPARE(window->lvDiffs->topLevelItemCount(), 1);
            for (int c = 0; c < 4; ++c)
                row << window->lvDiffs->topLevelItem(0)->text(c);
            window->btLoad->click();
        });
        watch.start(20);
        FileDialogs::setAnswer(backup);
        m.itmCompare->trigger();
        QCOMPARE(FileDialogs::asked().first().initial, backup); // it opens on the backup
        QCOMPARE(row, QStringList({"1/6 " + demo.module(0, 5).type, "parameter 0 (Gain)",
                                   demo.gainShown(raised), demo.gainShown(demo.gainRaw())}));

        // "Load this file" loads it as "Load Config" does; the scan after it finds the gain
        // not taken and says so instead of a silent "Done.".
        QCOMPARE(m.state().IdleState, quint8(2));
        QVERIFY(runUntil([&] { return m.state().IdleState == 3; }, 60000));
        QCOMPARE(m.shownMessages,
                 QStringList{demo.gainLine("file", raised, "module holds", demo.gainRaw()) + "\n"});
        QCOMPARE(m.statusText(), QString(" Errors found"));
    }
};

ORVEX_TEST(CompareWindowTest)
#include "compare.moc"
