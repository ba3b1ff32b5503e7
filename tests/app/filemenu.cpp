#include "tests/app/AppFixture.h"
#include "tests/support/TestMain.h"

#include "app/FileDialogs.h"
#include "panel/CtlPanelFrm.h"
#include "sim/SimServer.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QMenu>
#include <QPushButton>
#include <QToolButton>
#include <QtTest>

namespace {
std::unique_ptr<SimServer> startDemo() {
    QString error;
    auto sim = SimServer::startPty(demoProfile(), &error);
    if (!sim)
        qFatal("simulator: %s", qPrintable(error));
    sim->headend().setResetMs(100);
    return sim;
}

QAction* item(TMainFrm& m, const QString& name) {
    for (QAction* a : m.mnFile->actions())
        if (a->text() == name)
            return a;
    return nullptr;
}

// Subrack 1, slot 6: LA-862, a parameter module.
constexpr int kAmpButton = 5;
} // namespace

// The "File" menu: its checks, its dialogs and what it leaves the work loop doing.
class FileMenuTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void cleanup() { FileDialogs::clearAnswer(); }

    void nothingScannedYet_data() {
        QTest::addColumn<QString>("name");
        for (const char* name : {"Save Config", "Load Config", "Save Module", "Load Module"})
            QTest::newRow(name) << QString(name);
    }
    void nothingScannedYet() {
        QFETCH(QString, name);
        AppFixture f;
        TMainFrm& m = f.start();
        FileDialogs::setAnswer("never.file");
        item(m, name)->trigger();
        QCOMPARE(m.shownMessages, QStringList{"Unknown configuration. Rescan system."});
        QVERIFY(FileDialogs::asked().isEmpty());
        QVERIFY(f.peer.frames().isEmpty());
    }

    void dialogsAndWhatTheyLeave_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QString>("suffix");
        QTest::addColumn<bool>("save");
        QTest::addColumn<bool>("closesView");
        QTest::newRow("Save Config") << "Save Config"
                                     << "Save current configuration"
                                     << "HeadEnd config. files (*.mmh)"
                                     << "mmh" << true << true;
        QTest::newRow("Load Config") << "Load Config"
                                     << "Load configuration from file"
                                     << "HeadEnd config. files (*.mmh)"
                                     << "mmh" << false << true;
        QTest::newRow("Save Module") << "Save Module"
                                     << "Save module settings"
                                     << "Module settings file (*.mst)"
                                     << "mst" << true << false;
        QTest::newRow("Load Module") << "Load Module"
                                     << "Load module settings"
                                     << "Module settings file (*.mst)"
                                     << "mst" << false << false;
    }
    void dialogsAndWhatTheyLeave() {
        QFETCH(QString, name);
        QFETCH(bool, save);
        QFETCH(bool, closesView);
        auto sim = startDemo();
        AppFixture f(sim->slavePath());
        TMainFrm& m = f.start();
        scan(m);
        m.sbM[kAmpButton]->click();
        QVERIFY(m.CtlPanelFrm->isVisible());
        FileDialogs::setAnswer(QString()); // the user cancels
        item(m, name)->trigger();
        QCOMPARE(FileDialogs::asked().size(), 1);
        const FileDialogs::Request r = FileDialogs::asked().first();
        QTEST(r.title, "title");
        QTEST(r.filter, "filter");
        QTEST(r.extension, "suffix");
        QCOMPARE(r.save, save);
        // Cancelled: the configuration commands have closed the view all the same.
        QCOMPARE(m.CtlPanelFrm->isVisible(), !closesView);
        QCOMPARE(m.sbM[kAmpButton]->isChecked(), !closesView);
        QCOMPARE(m.statusText().isEmpty(), closesView);
        QCOMPARE(m.state().IdleState, quint8(3));
        QVERIFY(m.shownMessages.isEmpty());

        const auto dialog = FileDialogs::create(&m, r);
        QCOMPARE(dialog->windowTitle(), r.title);
        QCOMPARE(dialog->nameFilters(), QStringList{r.filter});
        QTEST(dialog->defaultSuffix(), "suffix");
        QCOMPARE(dialog->acceptMode(), save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
        QCOMPARE(dialog->fileMode(), save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
        QVERIFY(!dialog->testOption(QFileDialog::DontConfirmOverwrite));
    }

    void moduleCommandsNeedAnOpenModule() {
        auto sim = startDemo();
        AppFixture f(sim->slavePath());
        TMainFrm& m = f.start();
        scan(m);
        FileDialogs::setAnswer("never.mst");
        m.itmSaveMod->trigger();
        m.itmLoadModule->trigger();
        QCOMPARE(m.shownMessages, QStringList({"You must select module at first",
                                               "You must select module at first"}));
        QVERIFY(FileDialogs::asked().isEmpty());
    }

    void saveDialogWantsAnExistingFolder() {
        AppFixture f;
        TMainFrm& m = f.start();
        const auto dialog =
            FileDialogs::create(&m, {"Save current configuration", "x (*.mmh)", "mmh", true});
        dialog->selectFile(f.dir.filePath("missing/c.mmh"));
        QString warned;
        QTimer::singleShot(200, [&] {
            if (QWidget* box = QApplication::activeModalWidget()) {
                warned = box->windowTitle();
                box->close();
            }
        });
        QMetaObject::invokeMethod(dialog.get(), "accept");
        QCOMPARE(warned, QString("Save current configuration"));
        QCOMPARE(dialog->result(), int(QDialog::Rejected));
        dialog->selectFile(f.dir.filePath("c.mmh"));
        QMetaObject::invokeMethod(dialog.get(), "accept");
        QCOMPARE(dialog->result(), int(QDialog::Accepted));
    }

    void moduleFileSavedAndLoaded() {
        auto sim = startDemo();
        AppFixture f(sim->slavePath());
        TMainFrm& m = f.start();
        scan(m);
        m.sbM[kAmpButton]->click();
        const auto before = sim->headend().state(0, 5).committed;
        const QString file = f.dir.filePath("amp.mst");
        FileDialogs::setAnswer(file);
        m.itmSaveMod->trigger();
        QCOMPARE(m.statusText(), QString("Done."));
        QVERIFY(QFile::exists(file));
        QCOMPARE(m.state().IdleState, quint8(3)); // the loop goes on serving the panel
        QVERIFY(m.CtlPanelFrm->isVisible());
        QVERIFY(m.btInfo->isEnabled());

        // Another value reaches the module's EEPROM, then the file brings the old one back.
        Link& link = m.link();
        QVERIFY(link.SelectModule(0, 5));
        QVERIFY(link.WriteValue(0, before[0][0] + 1)); // gain one step up
        link.CommitEEPROM(5, 0);
        QVERIFY(sim->headend().state(0, 5).committed != before);
        m.itmLoadModule->trigger();
        QCOMPARE(sim->headend().state(0, 5).committed, before);
        QCOMPARE(m.state().IdleState, quint8(3));
        QVERIFY(m.state().ReloadRequest);
        // The work loop reads the module again and rebuilds its panel.
        QVERIFY(runUntil([&] { return !m.state().ReloadRequest; }));
        QVERIFY(runUntil([&] { return m.statusText() == "Module #6 selected"; }));
        QVERIFY(m.CtlPanelFrm->isVisible());
        QVERIFY(m.shownMessages.isEmpty());
    }

    void unreadableConfigurationWritesNothing() {
        auto sim = startDemo();
        AppFixture f(sim->slavePath());
        TMainFrm& m = f.start();
        scan(m);
        const QString file = f.dir.filePath("bad.mmh");
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write("MOD\r\n0 5 1\r\nLA-862\r\nV1.22\r\nPARAM\r\n1 2 \r\n"
                  "MODEND\r\nMOD\r\n0 0 x\r\n");
        out.close();
        sim->headend().clearLog();
        FileDialogs::setAnswer(file);
        m.itmLoadConfig->trigger();
        QCOMPARE(m.shownMessages, QStringList{"File I/O error."});
        QVERIFY(sim->headend().received().isEmpty());
        QCOMPARE(m.state().IdleState, quint8(2)); // rescanned all the same
        QVERIFY(m.btRestart->isEnabled());
    }
};

ORVEX_TEST(FileMenuTest)
#include "filemenu.moc"
