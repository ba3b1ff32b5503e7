// What looking at the demo head-end costs its modules, with their true restart time: reading
// an image restarts the module, so only an operation that names the module may do it, and an
// operation that restarted a module ends only once it answers again.
#include "files/Compare.h"
#include "files/SaveLoad.h"
#include "files/Verify.h"
#include "link/HeadendScan.h"
#include "tests/support/DemoValues.h"
#include "tests/support/Files.h"
#include "tests/support/LinkFixture.h"
#include "tests/support/TestMain.h"

#include <QtTest>

class LookTest : public QObject {
    Q_OBJECT
    std::unique_ptr<LinkFixture> f;
    QByteArray saved; // the whole head-end, saved at the start

    SaveLoad files() { return SaveLoad(*f->link, f->modules, f->state, f->host); }
    void scan(const ModuleAddresses& expected = {}) {
        QuietScanView view;
        ScanHeadend(*f->link, f->modules, f->state, f->host, view, {}, expected);
    }
    // The saved file with the blocks of these modules only ("0 8" for 1/9); all when empty.
    QByteArray only(const QByteArrayList& addresses) const {
        const QByteArrayList lines = saved.split('\n');
        QByteArray out;
        bool keep = true;
        for (int i = 0; i < lines.size() - 1; ++i) {
            const QByteArray line = lines[i] + '\n';
            if (line == "MOD\r\n")
                keep = addresses.isEmpty() ||
                       addresses.contains(lines[i + 1].left(lines[i + 1].lastIndexOf(' ')));
            if (keep || line.startsWith(';'))
                out += line;
        }
        return out;
    }

private Q_SLOTS:
    void initTestCase() {
        f = std::make_unique<LinkFixture>(true, SimServerOptions{-1, 0, {}});
        f->headend().setResetMs(DemoValues().profile.resetMs);
        QVERIFY(f->link->OpenLink());
        scan();
        QVERIFY(files().SaveConfigFile("all.mmh"));
        saved = fileBytes("all.mmh");
    }
    void cleanupTestCase() { f.reset(); }

    // Each operation's frames that restart a module, and every module answering when it ends.
    void restarts_data() {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QByteArrayList>("blocks"); // of the file the operation works with
        QTest::addColumn<QStringList>("frames");
        const QStringList images{"&1/9", "71/9", "&2/3", "72/3"};
        QTest::newRow("compare") << "compare" << QByteArrayList{} << QStringList{};
        QTest::newRow("compare with images") << "images" << QByteArrayList{} << images;
        QTest::newRow("save") << "save" << QByteArrayList{} << images;
        QTest::newRow("load and verify values")
            << "load" << QByteArrayList{"0 5"} << QStringList{"71/6"};
        // Written, then read back once.
        QTest::newRow("load and verify an image")
            << "load" << QByteArrayList{"0 8"} << QStringList{"&1/9", "71/9", "&1/9", "71/9"};
    }
    void restarts() {
        QFETCH(QString, operation);
        QFETCH(QByteArrayList, blocks);
        QVERIFY(writeFile("in.mmh", only(blocks)));
        Compare::Blocks file;
        QVERIFY(Compare::readFile("in.mmh", false, &file));
        f->headend().clearLog();
        SaveLoad ops = files();
        if (operation == "save") {
            QVERIFY(ops.SaveConfigFile("out.mmh"));
            QCOMPARE(f->host.status, QString("Done."));
        } else if (operation == "load") {
            LoadedModules loaded;
            QVERIFY(ops.LoadSettingsFile("in.mmh", true, &loaded));
            const Verify::Outcome o = Verify::check(ops, f->modules, file, false, loaded);
            QVERIFY(o.ok());
            QCOMPARE(addressNames(o.held), addressNames(loaded.written));
        } else {
            Compare::HeadendCompare comparison(f->modules, file);
            QCOMPARE(comparison.imageModules(), QString("1/9 NC-100, 2/3 RPR-4"));
            if (operation == "images")
                comparison.readImages(ops);
            const Compare::Result r = comparison.result();
            QCOMPARE(r.differences(), 0);
            QCOMPARE(r.notRead().size(), operation == "images" ? 0 : 2);
        }
        QTEST(restartFrames(f->headend().received()), "frames");
        for (int g = 0; g < 2; ++g)
            for (int s = 0; s < 16; ++s)
                QVERIFY2(!f->headend().state(g, s).restarting, qPrintable(QString::number(s)));
    }

    // Modules restarting when the scan comes by (a reset from elsewhere) are waited for when
    // the last scan (1/9) or the caller (2/3) knows them, not reported gone: silent for longer
    // than the scan takes to reach them.
    void scanWaitsForARestart() {
        f->headend().setResetMs(2400);
        f->modules.free(2, 1);
        f->headend().restart(0, 8);
        f->headend().restart(1, 2);
        scan({{1, 2}});
        QCOMPARE(f->state.FoundCount, int(DemoValues().profile.modules.size()));
    }
};

ORVEX_TEST(LookTest)
#include "look.moc"
