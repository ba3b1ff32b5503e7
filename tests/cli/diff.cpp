// orvex-cli diff, load --verify and backup against the simulated demo head-end, saved once
// for each class; after each row the head-end is as its profile made it and the saved file as
// it was written. Two classes, so that CTest can run them side by side.
#include "files/Backups.h"
#include "tests/support/CliRun.h"
#include "tests/support/DemoValues.h"
#include "tests/support/Expect.h"
#include "tests/support/Files.h"
#include "tests/support/TestMain.h"

#include <QJsonDocument>
#include <QJsonObject>

class CliCompareFixture : public QObject {
    Q_OBJECT
protected:
    std::unique_ptr<CliRun> f;
    DemoValues demo;
    QString saved;
    QByteArray savedBytes;

    static void edit(const QString& file, const QByteArray& from, const QByteArray& to) {
        QByteArray text = fileBytes(file);
        QVERIFY(text.contains(from));
        QVERIFY(writeFile(file, text.replace(from, to)));
    }

private Q_SLOTS:
    void initTestCase() {
        f = std::make_unique<CliRun>();
        saved = f->path(QStringLiteral("demo.mmh"));
        QCOMPARE(f->run({"save-config", saved}).status, 0);
        savedBytes = fileBytes(saved);
    }
    void cleanup() {
        SimHeadend& headend = f->sim->headend();
        for (int g = 0; g < 2; ++g)
            for (int s = 0; s < 16; ++s)
                headend.swap(g, s); // as the profile made it, the type and values too
        headend.clearFaults();
        QVERIFY(writeFile(saved, savedBytes));
    }
    void cleanupTestCase() { f.reset(); }
};

class DiffTest : public CliCompareFixture {
    Q_OBJECT
private Q_SLOTS:
    // What changed after the save, and the one line diff reports about it.
    void oneDifference_data() {
        QTest::addColumn<QStringList>("change"); // orvex-cli args, or "absent"/"edit" below
        QTest::addColumn<QString>("expected");   // empty: the same head-end
        const SimModuleDef& orx = demo.module(1, 7);
        const SimModuleDef& xxx = demo.module(1, 1);
        const QByteArray image = demo.module(1, 2).eeprom.first().toLatin1();
        QTest::newRow("same head-end") << QStringList{} << QString();
        QTest::newRow("value set") << QStringList{"set", "1/6", "0", "23"}
                                   << demo.gainLine("file", demo.gainRaw(), "module holds", 23);
        QTest::newRow("module pulled")
            << QStringList{"absent"}
            << QString("Module 2/8 (%1 %2): slot empty now").arg(orx.type, orx.version.last());
        QTest::newRow("another type") << QStringList{"set", "2/2", "0", "1"}
                                      << QString("Module 2/2: another type: file %1, module %2")
                                             .arg(xxx.type, xxx.variants.first().type);
        const QStringList edit{"edit", image, "FF" + image.mid(2)};
        QTest::newRow("image line changed") // with --images
            << edit
            << QString("Module 2/3 image: file %1 lines, module %1 lines; line 1 differs")
                   .arg(demo.module(1, 2).eeprom.size());
    }
    void oneDifference() {
        QFETCH(QStringList, change);
        QFETCH(QString, expected);
        const bool images = expected.contains(" image: ");
        if (change.value(0) == "absent")
            f->sim->headend().setFaults(1, 7, faults([](SimFaults& s) { s.absent = true; }));
        else if (change.value(0) == "edit")
            edit(saved, change[1].toLatin1(), change[2].toLatin1());
        else if (!change.isEmpty())
            QCOMPARE(f->run(change).status, 0);
        const auto r =
            f->run(images ? QStringList{"diff", "--images", saved} : QStringList{"diff", saved});
        QCOMPARE(r.status, expected.isEmpty() ? 0 : 1);
        QCOMPARE(r.outLines(), (expected.isEmpty() ? QStringList{"No differences."}
                                                   : QStringList{expected, "1 difference."}));
        // Only diff --images reads the images, naming their modules first.
        const QString named = "1/9 NC-100, 2/3 RPR-4";
        EXPECT_HAS(r.err, images ? "Reading the EEPROM images of " + named + ": "
                                 : "EEPROM images not compared: " + named + " (");
    }

    // Backups: a new file only when the head-end changed since the newest one (another date
    // and another comment make no difference), the change named. Two backups compared offline
    // give the raw values; with a head-end at hand (--port) its scan names them. The amplifier
    // against its block of the configuration, as JSON.
    void backupsCompared() {
        const QString dir = f->path("backups");
        const auto backups = [&] { return QDir(dir).entryList(QDir::Files).size(); };
        QVERIFY(QDir().mkpath(dir));
        const QString first = Backups::newName(dir, QDateTime::currentDateTime().addSecs(-60));
        QVERIFY(QFile::copy(saved, first));
        edit(first, ";Creation date/time ", ";Kept by the night shift\r\n;Creation date/time 1");
        auto r = f->run({"backup", dir});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.outLines(), QStringList{QString("Same as %1: nothing written.").arg(first)});
        QCOMPARE(backups(), 1);
        // Without images: kept from that backup, nothing restarted; a module of the backup
        // that restarts as the scan comes by is waited for, not reported gone; one silent
        // throughout keeps its block, and is named.
        f->sim->headend().clearLog();
        f->sim->headend().setResetMs(2400);
        f->sim->headend().restart(0, 8);
        f->sim->headend().setFaults(1, 7, faults([](SimFaults& s) { s.absent = true; }));
        r = f->run({"backup", "--no-images", dir});
        f->sim->headend().clearFaults();
        QCOMPARE(r.status, 1);
        EXPECT_HAS(r.err,
                   "2/8 did not answer: its block is kept from " + QFileInfo(first).fileName());
        QCOMPARE(r.outLines(), QStringList{QString("Same as %1: nothing written.").arg(first)});
        QCOMPARE(restartFrames(f->sim->headend().received()), QStringList());
        f->sim->headend().setResetMs(100);

        QCOMPARE(f->run({"set", "1/6", "0", "23"}).status, 0);
        r = f->run({"backup", dir});
        QCOMPARE(r.status, 0);
        QCOMPARE(backups(), 2);
        QCOMPARE(r.outLines().first(),
                 demo.gainLine(QFileInfo(first).fileName(), demo.gainRaw(), "module holds", 23));
        const QString later = r.outLines().last().chopped(QString(" written.").size());
        QVERIFY2(later.endsWith(".mmh"), qPrintable(r.outLines().last()));
        r = f->run({"diff", first, later}, {}, false);
        QCOMPARE(r.status, 1);
        QCOMPARE(r.outLines().first(), QString("Module 1/6 parameter 0: %1 %2, %3 23")
                                           .arg(first)
                                           .arg(demo.gainRaw())
                                           .arg(later));
        r = f->run({"diff", first, later});
        QCOMPARE(r.outLines(),
                 QStringList({demo.gainLine(first, demo.gainRaw(), later, 23), "1 difference."}));
        const QJsonObject o =
            QJsonDocument::fromJson(f->run({"--json", "diff", "1/6", first}).out).object();
        QCOMPARE(o["differences"].toInt(), 1);
        const QJsonObject p = o["modules"][0]["params"][0].toObject();
        QCOMPARE(p["a"].toInt(), demo.gainRaw());
        QCOMPARE(p["b"].toInt(), 23);
        QCOMPARE(p["shownB"].toString(), demo.gainShown(23));
    }
};

// The outcome as the tool tells it (what the check finds: files.LookTest): the modules that
// hold the file's values, or the amplifier that acknowledges writes and keeps its own.
class VerifyTest : public CliCompareFixture {
    Q_OBJECT
private Q_SLOTS:
    void verifiedLoad_data() {
        QTest::addColumn<QStringList>("load");
        QTest::newRow("configuration taken") << QStringList{"load-config", "--verify", "demo.mmh"};
        QTest::newRow("module file kept out")
            << QStringList{"load-module", "--verify", "1/6", "amp.mst"};
    }
    void verifiedLoad() {
        QFETCH(QStringList, load);
        const bool keeps = load.contains("1/6");
        QCOMPARE(f->run({"save-module", "1/6", f->path("amp.mst")}).status, 0);
        QCOMPARE(f->run({"set", "1/6", "0", "23"}).status, 0);
        f->sim->headend().setFaults(0, 5, faults([&](SimFaults& s) { s.ignoreWrites = keeps; }));
        load.last() = f->path(load.last());
        const auto r = f->run(load);
        QVERIFY2(r.status == (keeps ? 1 : 0), r.err.constData()); // which module and why
        QCOMPARE(f->committed(0, 5, 0), std::optional<int>(keeps ? 23 : demo.gainRaw()));
        if (keeps) {
            QCOMPARE(r.errLines().mid(r.errLines().size() - 2),
                     QStringList({" Errors found",
                                  demo.gainLine("file", demo.gainRaw(), "module holds", 23)}));
        } else {
            QCOMPARE(r.outLines(), QStringList{"Verified: 1/1, 1/2, 1/3, 1/4, 1/6, 1/7, 1/9, 2/1, "
                                               "2/2, 2/3, 2/5, 2/8 hold the file's values."});
        }
    }
};

ORVEX_TEST(DiffTest)
ORVEX_TEST(VerifyTest)
#include "diff.moc"
