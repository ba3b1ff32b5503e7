// orvex-cli's file commands against the simulated demo head-end: a saved configuration or
// module file brings changed values back.
#include "tests/cli/CliRun.h"
#include "tests/support/TestMain.h"

class FilesTest : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<CliRun> f;

    CliRun::Result run(const QStringList& args) { return f->run(args); }

private Q_SLOTS:
    void init() {
        f = std::make_unique<CliRun>();
        // Modules come back from a reset at once: the loads wait for each one.
        f->sim->headend().setResetMs(50);
    }
    void cleanup() { f.reset(); }

    void configRestoresValues() {
        const QString file = f->path(QStringLiteral("headend.mmh"));
        auto r = run({QStringLiteral("save-config"), file});
        QCOMPARE(r.status, 0);
        QVERIFY(r.err.contains("Writing conf. file. Wait..."));
        QCOMPARE(r.errLines().last(), QStringLiteral("Done."));
        QFile saved(file);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        const QByteArray text = saved.readAll();
        QVERIFY(text.startsWith(";Machine generated file. DO NOT EDIT !\r\n"));
        QCOMPARE(text.count("MOD\r\n"), 12);

        QCOMPARE(run({"set", "1/1", "5", "26"}).status, 0);
        QCOMPARE(run({"set", "2/5", "3", "1"}).status, 0);
        QCOMPARE(f->committed(0, 0, 5), std::optional<int>(26));
        QCOMPARE(f->committed(1, 4, 3), std::optional<int>(1));

        r = run({QStringLiteral("load-config"), file});
        QCOMPARE(r.status, 0);
        QVERIFY(r.err.contains("Loading from file. Wait..."));
        QCOMPARE(r.errLines().last(), QStringLiteral("Done."));
        QCOMPARE(f->committed(0, 0, 5), std::optional<int>(30));
        QCOMPARE(f->committed(1, 4, 3), std::optional<int>(0));
    }

    void moduleFile() {
        const QString file = f->path(QStringLiteral("receiver.mst"));
        QCOMPARE(run({QStringLiteral("save-module"), QStringLiteral("1/2"), file}).status, 0);
        QCOMPARE(run({"set", "1/2", "3", "1"}).status, 0);
        QCOMPARE(f->committed(0, 1, 3), std::optional<int>(1));
        auto r = run({QStringLiteral("load-module"), QStringLiteral("1/2"), file});
        QCOMPARE(r.status, 0);
        QCOMPARE(f->committed(0, 1, 3), std::optional<int>(0));

        // Another type of module: refused, reported, nothing written.
        f->sim->headend().clearLog();
        r = run({QStringLiteral("load-module"), QStringLiteral("1/1"), file});
        QCOMPARE(r.status, 1);
        QVERIFY(r.errLines().contains(QStringLiteral("Error: Module 1/1 type mismatch")));
        QVERIFY(r.errLines().contains(QStringLiteral(" Errors found")));
        QVERIFY(!f->sim->headend().received().contains("!5"));
    }

    void unusableFile_data() {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("load a missing file") << QStringList{"load-config", "missing.mmh"};
        QTest::newRow("save into a missing folder")
            << QStringList{"save-module", "1/1", "no/such/folder/m.mst"};
    }
    void unusableFile() {
        QFETCH(QStringList, args);
        const auto r = run(args);
        QCOMPARE(r.status, 3);
        QVERIFY(r.errLines().contains(QStringLiteral("File I/O error.")));
    }
};

ORVEX_TEST(FilesTest)
#include "files.moc"
