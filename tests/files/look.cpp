// What looking at the demo head-end costs its modules, with their true restart time: reading
// an image restarts the module, so only an operation that names the module may do it, and an
// operation that restarted a module ends only once it answers again.
#include "tests/support/DemoValues.h"
#include "tests/support/LinkFixture.h"
#include "tests/support/TestMain.h"

#include <QtTest>

class LookTest : public QObject {
    Q_OBJECT
    std::unique_ptr<LinkFixture> f;
    QuietScanView view;

private Q_SLOTS:
    void initTestCase() {
        f = std::make_unique<LinkFixture>(true, SimServerOptions{-1, 0, {}});
        f->headend().setResetMs(DemoValues().profile.resetMs);
        QVERIFY(f->link->OpenLink());
        f->session->scan(view);
        QVERIFY(f->session->saveConfig("all.mmh").ok() &&
                f->session->saveModule({0, 5}, "amp.mst").ok());
    }
    void cleanupTestCase() { f.reset(); }

    // Each operation's frames that restart a module, and every module answering when it ends
    // (a save's: files.SaveLoadTest).
    void restarts_data() {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QString>("module"); // the file's one block; none: the whole head-end
        QTest::addColumn<QStringList>("frames");
        const auto row = [](const char* name, const char* op, const char* module,
                            const QStringList& frames) {
            QTest::newRow(name) << QString(op) << QString(module) << frames;
        };
        row("compare", "compare", "", {});
        row("compare with images", "images", "", {"&1/9", "71/9", "&2/3", "72/3"});
        row("load and verify values", "load", "1/6", {"71/6"});
        row("load refused: nothing to verify", "refused", "1/6", {});
        // Written, then read back once.
        row("load and verify an image", "load", "1/9", {"&1/9", "71/9", "&1/9", "71/9"});
    }
    void restarts() {
        QFETCH(QString, operation);
        QFETCH(QString, module);
        ModuleAddress at;
        const QString name = ModuleAddress::parse(module, &at) ? "one.mmh" : "all.mmh";
        QVERIFY(name == "all.mmh" || f->session->saveModule(at, name).ok());
        f->headend().clearLog();
        if (operation == "load" || operation == "refused") {
            const bool refused = operation == "refused";
            f->headend().setFaults(at.subrack, at.slot,
                                   faults([&](SimFaults& s) { s.absent = refused; }));
            const FileOutcome loaded = f->session->load(name, false);
            f->headend().clearFaults();
            const auto o = f->session->verify({name, false, loaded.loaded});
            QVERIFY(loaded.ok() && o && o->ok());
            QCOMPARE(addressNames(o->held), refused ? QString() : module);
        } else {
            Compare::Blocks file;
            QVERIFY(Compare::readFile(name, false, &file));
            Compare::HeadendCompare comparison(f->modules, file);
            if (operation == "images")
                f->session->readImages(comparison);
            const Compare::Result r = comparison.result();
            QCOMPARE(r.differences(), 0);
            QCOMPARE(r.notRead().size(), operation == "images" ? 0 : 2);
        }
        QTEST(restartFrames(f->headend().received()), "frames");
        for (int g = 0; g < 2; ++g)
            for (int s = 0; s < 16; ++s)
                QVERIFY2(!f->headend().state(g, s).restarting, qPrintable(QString::number(s)));
    }

    // A module that acknowledges every write and keeps its values: the check after the load,
    // of a configuration or a module file, names it with the value it holds.
    void loadNotKept_data() {
        QTest::addColumn<bool>("moduleFile");
        QTest::newRow("configuration") << false;
        QTest::newRow("module file") << true;
    }
    void loadNotKept() {
        QFETCH(bool, moduleFile);
        const DemoValues demo;
        Link& link = *f->link;
        QVERIFY(link.SelectModule(0, 5) && link.WriteValue(0, 23) && link.CommitEEPROM(5, 0));
        f->headend().setFaults(0, 5, faults([](SimFaults& s) { s.ignoreWrites = true; }));
        f->state.CurSubrack = 0;
        f->state.CurSlot = 5;
        const FileOutcome loaded = f->session->load("amp.mst", moduleFile);
        f->headend().clearFaults();
        QVERIFY(loaded.ok() && link.SelectModule(0, 5) && link.ReadValues(5, 0)); // as after it
        const auto o = f->session->verify({"amp.mst", moduleFile, loaded.loaded});
        QVERIFY(link.WriteValue(0, demo.gainRaw()) && link.CommitEEPROM(5, 0));
        QVERIFY(o && !Verify::report(f->host, *o));
        QCOMPARE(addressNames(o->notHeld), QString("1/6"));
        QCOMPARE(f->host.status, QString(" Errors found"));
        QCOMPARE(f->host.messages.last(),
                 demo.gainLine("file", demo.gainRaw(), "module holds", 23) + "\n");
    }

    // Modules restarting when the scan comes by (a reset from elsewhere) are waited for when
    // the last scan (1/9) or the caller (2/3) knows them, not reported gone: silent for longer
    // than the scan takes to reach them.
    void scanWaitsForARestart() {
        f->headend().setResetMs(2400);
        f->modules.free(2, 1);
        f->headend().restart(0, 8);
        f->headend().restart(1, 2);
        QCOMPARE(f->session->scan(view, {}, {{1, 2}}), int(DemoValues().profile.modules.size()));
    }
};

ORVEX_TEST(LookTest)
#include "look.moc"
