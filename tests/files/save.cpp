#include "files/FileFormat.h"
#include "files/LoadSteps.h"
#include "files/SaveLoad.h"
#include "tests/files/FakeLine.h"
#include "tests/support/TestMain.h"

#include <QRegularExpression>
#include <QtTest>

namespace {
const QString kWriting("Writing conf. file. Wait...");

// The file without its two comment lines.
QByteArrayList blocks(const QByteArray& file) {
    return FileFormat::splitLines(file).mid(2);
}
} // namespace

// Saving module and configuration files from the records and from scripted image modules.
class SaveTest : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<LinkFixture> f;
    std::unique_ptr<FakeLine> line;

    SaveLoad files() { return SaveLoad(*f->link, f->modules, f->state, f->host); }
    TModule& imageModule(int subrack, int slot) {
        line->setPresent(subrack, slot);
        return addModule(f->modules, subrack, slot, "RPR-4", "V2.10", InfoImage, 1);
    }

private Q_SLOTS:
    void init() {
        f = std::make_unique<LinkFixture>();
        line = std::make_unique<FakeLine>(*f);
        QVERIFY(f->link->OpenLink());
        f->link->ReplyTimeout = 80;
    }
    void cleanup() {
        line.reset();
        f.reset();
    }

    void moduleFile() {
        line->setPresent(0, 3);
        addModule(f->modules, 0, 3, "TESTMOD", "V1.00", InfoParam, 1, {{12}, {0}, {250}});
        QVERIFY(files().SaveModuleFile(0, 3, "m.mst"));
        const QByteArray file = fileBytes("m.mst");
        QVERIFY(file.startsWith(";Machine generated file. DO NOT EDIT !\r\n"
                                ";Creation date/time "));
        QVERIFY(QRegularExpression("^;Creation date/time \\d\\d\\.\\d\\d\\.\\d{4} "
                                   "\\d\\d:\\d\\d:\\d\\d$")
                    .match(QString::fromLatin1(FileFormat::splitLines(file)[1]))
                    .hasMatch());
        QCOMPARE(
            file.mid(file.indexOf("\r\nMOD\r\n") + 2),
            QByteArray("MOD\r\n0 3 1\r\nTESTMOD\r\nV1.00\r\nPARAM\r\n12 0 250 \r\nMODEND\r\n"));
        QCOMPARE(line->frames(), QStringList({"S1/4", "S1/4"}));
        QCOMPARE(f->host.statusHistory, QStringList({kWriting, "Done."}));
        QCOMPARE(f->host.enabledHistory, QList<bool>({false, true}));
    }

    void configFile() {
        scanEmpty(f->modules);
        line->setPresent(0, 0);
        addModule(f->modules, 0, 0, "TESTMOD", "V1.00", InfoParam, 2, {{12, 1}, {15, 20}});
        addModule(f->modules, 0, 9, QString::fromLatin1("Typ\xE9"), "V1", InfoParam, 2);
        imageModule(0, 5);
        line->script("03", {"03"});
        line->script("05", {"0011223344556677"});
        line->script("04", {"8899AABBCCDDEEFF", "00"});
        QVERIFY(files().SaveConfigFile("c.mmh"));
        QCOMPARE(blocks(fileBytes("c.mmh")), QByteArrayList({"MOD",
                                                             "0 0 2",
                                                             "TESTMOD",
                                                             "V1.00",
                                                             "PARAM",
                                                             "02 15 ",
                                                             "1 20 ",
                                                             "MODEND",
                                                             "MOD",
                                                             "0 5 1",
                                                             "RPR-4",
                                                             "V2.10",
                                                             "EEPROM",
                                                             "0011223344556677",
                                                             "8899AABBCCDDEEFF",
                                                             "MODEND",
                                                             "MOD",
                                                             "0 9 2",
                                                             "Typ\xE9",
                                                             "V1",
                                                             "PARAM",
                                                             "MODEND"}));
        QCOMPARE(line->frames(),
                 QStringList({"S1/1", "S1/1", "S1/6", "S1/6", "&", "#03", "#05", "#04", "#04",
                              "S1/6", "S1/6", "7", "S1/10", "S1/10"}));
        // One mark per slot of both subracks, and one for the first "04" of the dump.
        QCOMPARE(f->host.statusHistory.mid(f->host.statusHistory.size() - 2),
                 QStringList({kWriting + QString(33, '-'), "Done."}));
        QCOMPARE(f->host.progressHistory.size(), 33);
        QCOMPARE(f->host.progressHistory[31], qMakePair(32, 32));
        QCOMPARE(f->host.progressHistory.last(), qMakePair(0, 0));
        QCOMPARE(f->host.enabledHistory, QList<bool>({false, true}));
        QVERIFY(f->host.messages.isEmpty());
        // A module without parameters writes no value lines: the file loads back.
        QCOMPARE(LoadSteps::firstFileError(FileFormat::splitLines(fileBytes("c.mmh")), true), -1);
    }

    void imageRefusals_data() {
        QTest::addColumn<QByteArrayList>("replies03");
        QTest::addColumn<QByteArrayList>("replies05");
        QTest::addColumn<bool>("specMode");
        QTest::addColumn<QByteArrayList>("body");
        QTest::addColumn<QStringList>("frames");
        const QStringList reset{"S2/4", "S2/4", "7"};
        const QByteArray refusal = FakeLine::specReply("-9");
        QTest::newRow("no special mode")
            << QByteArrayList{} << QByteArrayList{} << false
            << QByteArrayList{FileFormat::NoSpecialMode} << QStringList{"S2/4", "S2/4", "&"};
        QTest::newRow("03 unanswered")
            << QByteArrayList{} << QByteArrayList{} << true << QByteArrayList{"ERROR -2"}
            << QStringList{"S2/4", "S2/4", "&", "#03"};
        QTest::newRow("03 refused: the reply up to its CR")
            << QByteArrayList{"-9"} << QByteArrayList{} << true
            << QByteArrayList{"ERROR " + refusal.left(refusal.size() - 1)}
            << QStringList{"S2/4", "S2/4", "&", "#03"};
        QTest::newRow("05 unanswered: an ERROR line, not an empty one")
            << QByteArrayList{"03"} << QByteArrayList{} << true << QByteArrayList{"ERROR -2"}
            << QStringList{"S2/4", "S2/4", "&", "#03", "#05"} + reset;
    }
    void imageRefusals() {
        QFETCH(QByteArrayList, replies03);
        QFETCH(QByteArrayList, replies05);
        QFETCH(bool, specMode);
        QFETCH(QByteArrayList, body);
        scanEmpty(f->modules);
        imageModule(1, 3);
        line->script("03", replies03);
        line->script("05", replies05);
        if (!specMode)
            f->peer.setResponder([](const QByteArray& frame) -> std::optional<PtyPeer::Reply> {
                if (frame == "!&\r")
                    return std::nullopt;
                return PtyPeer::Reply{QByteArray("\x06")};
            });
        QVERIFY(files().SaveModuleFile(1, 3, "m.mst"));
        QCOMPARE(blocks(fileBytes("m.mst")),
                 QByteArrayList({"MOD", "1 3 1", "RPR-4", "V2.10", "EEPROM"}) + body +
                     QByteArrayList{"MODEND"});
        QTEST(line->frames(), "frames");
        QCOMPARE(f->host.status, QString("Done. Errors found"));
        // So is it in a configuration file.
        QVERIFY(files().SaveConfigFile("c.mmh"));
        QCOMPARE(f->host.status, QString("Done. Errors found"));
        QCOMPARE(LoadSteps::firstFileError(FileFormat::splitLines(fileBytes("c.mmh")), true), -1);
    }

    void shortFirstAnswer() {
        imageModule(0, 0);
        line->script("03", {"03"});
        line->script("05", {"00112233"});
        QVERIFY(files().SaveModuleFile(0, 0, "m.mst"));
        QCOMPARE(blocks(fileBytes("m.mst")).mid(5), QByteArrayList({"00112233", "MODEND"}));
        QVERIFY(!line->frames().contains("#04"));
    }

    void earlyFailureLaterSuccess() {
        scanEmpty(f->modules);
        imageModule(0, 1); // refuses "03"
        imageModule(1, 2);
        line->script("03", {"-1", "03"});
        line->script("05", {"0011"});
        QVERIFY(files().SaveConfigFile("c.mmh"));
        const QByteArrayList lines = blocks(fileBytes("c.mmh"));
        QCOMPARE(lines.count("ERROR " + FakeLine::specReply("-1").chopped(1)), 1);
        QVERIFY(lines.contains("0011"));
        QCOMPARE(f->host.status, QString("Done. Errors found"));
    }

    void refusedSaveKeepsTheEarlierFile_data() {
        QTest::addColumn<int>("channels");
        QTest::addColumn<bool>("wholeConfig");
        QTest::newRow("no channel") << 0 << false;
        QTest::newRow("101 channels") << 101 << false;
        QTest::newRow("101 channels, configuration") << 101 << true;
        QTest::newRow("100 channels") << 100 << false;
    }
    void refusedSaveKeepsTheEarlierFile() {
        QFETCH(int, channels);
        QFETCH(bool, wholeConfig);
        scanEmpty(f->modules);
        line->setPresent(0, 0);
        addModule(f->modules, 0, 0, "TESTMOD", "V1.00", InfoParam, 1, {{1}});
        addModule(f->modules, 0, 4, "WIDE", "V1", InfoParam, 1, {{1}}).ChannelCount = channels;
        const QString name = wholeConfig ? "c.mmh" : "m.mst";
        QVERIFY(writeFile(name, "earlier"));
        f->host.SetStatus("before");
        const bool written =
            wholeConfig ? files().SaveConfigFile(name) : files().SaveModuleFile(0, 4, name);
        const bool fits = channels == 100;
        QCOMPARE(written, fits);
        QCOMPARE(fileBytes(name) == "earlier", !fits);
        QCOMPARE(f->host.messages, fits ? QStringList{} : QStringList{"File I/O error."});
        QCOMPARE(f->host.enabledHistory, QList<bool>({false, true}));
        if (!fits)
            QVERIFY(f->host.status.startsWith(kWriting)); // left as it stood
    }

    void unwritableFolder() {
        addModule(f->modules, 0, 0, "TESTMOD", "V1.00", InfoParam, 1, {{1}});
        QVERIFY(writeFile("plain", "x"));
        f->host.SetStatus("before");
        // A file cannot be the folder of another (this stops root as well).
        QVERIFY(!files().SaveModuleFile(0, 0, "plain/m.mst"));
        QVERIFY(!files().SaveConfigFile("plain/c.mmh"));
        QCOMPARE(f->host.messages, QStringList({"File I/O error.", "File I/O error."}));
        QCOMPARE(f->host.status, QString("before"));
        QCOMPARE(f->host.enabledHistory, QList<bool>({false, true, false, true}));
        QCOMPARE(fileBytes("plain"), QByteArray("x"));
    }

    void portLostKeepsTheEarlierFile() {
        imageModule(0, 0);
        QVERIFY(writeFile("m.mst", "earlier"));
        f->peer.setResponder([](const QByteArray&) { return std::optional<PtyPeer::Reply>(); });
        f->link->ReplyTimeout = 5000;
        QTimer::singleShot(100, [&] { f->peer.hangUp(); });
        QVERIFY(!files().SaveModuleFile(0, 0, "m.mst"));
        QCOMPARE(fileBytes("m.mst"), QByteArray("earlier"));
        QCOMPARE(f->host.messages, QStringList{"File I/O error."});
        QCOMPARE(f->host.enabledHistory, QList<bool>({false, true}));
    }
};

ORVEX_TEST(SaveTest)
#include "save.moc"
