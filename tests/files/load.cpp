#include "files/FileFormat.h"
#include "files/SaveLoad.h"
#include "tests/files/FakeLine.h"
#include "tests/support/TestMain.h"

#include <QtTest>

namespace {
const QByteArrayList kModuleExample{";Machine generated file. DO NOT EDIT !",
                                    ";Creation date/time 05.12.2026 14:03:11",
                                    "MOD",
                                    "0 3 1",
                                    "TESTMOD",
                                    "V1.00",
                                    "PARAM",
                                    "12 0 250 ",
                                    "MODEND"};
const QByteArrayList kConfigExample{";Machine generated file. DO NOT EDIT !",
                                    ";Creation date/time 05.12.2026 14:05:40",
                                    "MOD",
                                    "0 0 2",
                                    "TESTMOD",
                                    "V1.00",
                                    "PARAM",
                                    "0 15 1 ",
                                    "1 20 0 ",
                                    "MODEND",
                                    "MOD",
                                    "1 4 1",
                                    "TESTMOD",
                                    "V2.10",
                                    "EEPROM",
                                    "00112233445566778899AABB",
                                    "8899AABBCCDDEEFF00112233",
                                    "MODEND"};
// A module's reset and its return: select, "7", select.
const QStringList kFinish14{"S1/4", "S1/4", "7", "S1/4", "S1/4"};
// A module file addresses the current module first.
const QStringList kSelect14{"S1/4", "S1/4"};
} // namespace

// Loading files onto scripted modules: what goes on the line, what the user is told.
class LoadTest : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<LinkFixture> f;
    std::unique_ptr<FakeLine> line;

    bool load(const QByteArray& content, bool wholeConfig) {
        writeFile("in.file", content);
        SaveLoad files(*f->link, f->modules, f->state, f->host);
        return files.LoadSettingsFile("in.file", wholeConfig);
    }
    // The current module for module files: subrack 1, slot 4 (0, 3).
    TModule& current(const QString& type = "TESTMOD", const QString& version = "V1.00") {
        f->state.CurSubrack = 0;
        f->state.CurSlot = 3;
        line->setPresent(0, 3);
        return addModule(f->modules, 0, 3, type, version, InfoParam, 1, {{0}, {0}, {0}});
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

    void moduleExample() {
        current();
        f->state.ReloadRequest = true;
        QVERIFY(load(crlf(kModuleExample), false));
        QCOMPARE(line->frames(),
                 kSelect14 + QStringList({"50,12", "6", "51,0", "6", "52,250", "6"}) + kFinish14);
        QCOMPARE(f->host.status, QString("Done."));
        QCOMPARE(f->host.statusHistory.first(), QString("Loading from file. Wait..."));
        // One mark per line read outside a block, at the kind line and in the value lines.
        QVERIFY(f->host.statusHistory.contains("Loading from file. Wait...----"));
        QVERIFY(f->host.messages.isEmpty());
        QVERIFY(!f->state.ReloadRequest);
        QCOMPARE(f->host.enabledHistory, QList<bool>({false, true}));
        QCOMPARE(f->host.progressHistory.last(), qMakePair(0, 0));
        QCOMPARE(f->host.progressHistory.first(), qMakePair(1, 9));
    }

    void configExample() {
        addModule(f->modules, 0, 0, "TESTMOD", "V1.00", InfoParam, 2, {{0, 1}, {0, 0}, {0, 0}});
        addModule(f->modules, 1, 4, "TESTMOD", "V2.10", InfoTerminal, 1);
        line->setPresent(0, 0);
        line->setPresent(1, 4);
        line->script("06", {"06"});
        line->script("07", {"00"});
        QVERIFY(load(crlf(kConfigExample), true));
        QCOMPARE(line->frames(), QStringList({"S1/1",
                                              "S1/1",
                                              "50,0",
                                              "6",
                                              "51,15",
                                              "6",
                                              "52,1",
                                              "6",
                                              "50,1",
                                              "6",
                                              "51,20",
                                              "6",
                                              "52,0",
                                              "6",
                                              "S1/1",
                                              "S1/1",
                                              "7",
                                              "S1/1",
                                              "S1/1",
                                              "S2/5",
                                              "S2/5",
                                              "&",
                                              "#06",
                                              "#0700112233445566778899AABB",
                                              "#078899AABBCCDDEEFF00112233",
                                              "S2/5",
                                              "S2/5",
                                              "7",
                                              "S2/5",
                                              "S2/5"}));
        QCOMPARE(f->host.status, QString("Done."));
        QVERIFY(f->host.messages.isEmpty());
    }

    void commentsOnly() {
        current();
        QVERIFY(load(crlf({";one", ";two"}) + "\x1A", true));
        QVERIFY(f->peer.frames().isEmpty());
        QCOMPARE(f->host.status, QString("Done."));
        QVERIFY(f->host.messages.isEmpty());
    }

    void refusedBlocks_data() {
        QTest::addColumn<QByteArrayList>("file");
        QTest::addColumn<QStringList>("frames");
        QTest::addColumn<QString>("errors");
        QByteArrayList other = kModuleExample;
        other[4] = "OTHERMOD";
        QTest::newRow("module of another type")
            << other << QStringList{} << "Error: Module 1/4 type mismatch\n";
        QByteArrayList firmware = kModuleExample;
        firmware[5] = "V1.01";
        QTest::newRow("other firmware")
            << firmware << QStringList{} << "Error: Module 1/4 firmware version mismatch\n";
        QByteArrayList caseDiffers = kModuleExample;
        caseDiffers[4] = "testmod";
        QTest::newRow("type compared exactly")
            << caseDiffers << QStringList{} << "Error: Module 1/4 type mismatch\n";
        QByteArrayList elsewhere = kModuleExample;
        elsewhere[3] = "1 15 1";
        QTest::newRow("address ignored")
            << elsewhere << (QStringList{"50,12", "6", "51,0", "6", "52,250", "6"} + kFinish14)
            << "";
        QByteArrayList neither = kModuleExample;
        neither[6] = "VALUES";
        QTest::newRow("neither PARAM nor EEPROM") << neither << QStringList{} << "";
    }
    void refusedBlocks() {
        QFETCH(QByteArrayList, file);
        QFETCH(QStringList, frames);
        QFETCH(QString, errors);
        current();
        QVERIFY(load(crlf(file), false));
        QCOMPARE(line->frames(), kSelect14 + frames);
        QCOMPARE(f->host.messages.join(QString()), errors);
        QCOMPARE(f->host.status, errors.isEmpty() ? QString("Done.") : QString(" Errors found"));
    }

    void emptySlotNotResponding() {
        addModule(f->modules, 0, 3, "TESTMOD", "V1.00", InfoParam, 1, {{0}, {0}, {0}});
        line->setPresent(0, 3);
        QByteArrayList missing = kModuleExample.mid(2);
        missing[1] = "1 6 1"; // subrack 2, slot 7: nothing there
        QVERIFY(load(crlf(missing + kModuleExample.mid(2)), true));
        QCOMPARE(line->frames(), QStringList({"S2/7", "S2/7", "S1/4", "S1/4", "50,12", "6", "51,0",
                                              "6", "52,250", "6"}) +
                                     kFinish14);
        QCOMPARE(f->host.messages, QStringList{"Error: Module 2/7 not responding.\n"});
        QCOMPARE(f->host.errorFlags, QList<bool>{true});
        QCOMPARE(f->host.status, QString(" Errors found"));
    }

    void valueLines_data() {
        QTest::addColumn<QByteArray>("values");
        QTest::addColumn<QStringList>("writes");
        QTest::newRow("trailing space") << QByteArray("5 7 ") << QStringList{"50,5", "51,7"};
        QTest::newRow("no trailing space") << QByteArray("5 7") << QStringList{"50,5", "51,7"};
        QTest::newRow("negative") << QByteArray("-3") << QStringList{"50,-3"};
        QByteArray longLine;
        for (int i = 0; i <= 90; ++i)
            longLine += QByteArray::number(i % 2) + ' ';
        QStringList writes;
        for (int i = 0; i <= 90; ++i)
            writes << (i == 90 ? QString("5Z,0") : QString("5%1,%2").arg(i).arg(i % 2));
        QTest::newRow("index 90 beyond the module's parameters") << longLine << writes;
    }
    void valueLines() {
        QFETCH(QByteArray, values);
        QFETCH(QStringList, writes);
        current();
        QByteArrayList file = kModuleExample;
        file[7] = values;
        QVERIFY(load(crlf(file), false));
        QStringList expected;
        for (const QString& w : writes)
            expected << w << "6";
        QCOMPARE(line->frames(), kSelect14 + expected + kFinish14);
    }

    void imageRepeats_data() {
        QTest::addColumn<QByteArrayList>("replies");
        QTest::addColumn<int>("sends");
        QTest::addColumn<QString>("errors");
        QTest::addColumn<QString>("status");
        QTest::newRow("taken at once") << QByteArrayList{"00"} << 1 << ""
                                       << "Done.";
        QTest::newRow("other reply") << QByteArrayList{"02"} << 1 << ""
                                     << "Done.";
        QTest::newRow("busy twice") << QByteArrayList{"01", "01", "00"} << 3 << ""
                                    << "Done.";
        QTest::newRow("busy three times, then taken")
            << QByteArrayList{"01", "01", "01", "00"} << 4 << ""
            << "Done.";
        QTest::newRow("busy to the end")
            << QByteArrayList{"01"} << 4 << "Error: Module 1/4 can't write EEPROM\n"
            << " Errors found";
    }
    void imageRepeats() {
        QFETCH(QByteArrayList, replies);
        QFETCH(int, sends);
        QFETCH(QString, errors);
        TModule& m = current();
        m.InfoKind = InfoImage;
        line->script("06", {"06"});
        line->script("07", replies);
        QVERIFY(load(crlf({"MOD", "0 3 1", "TESTMOD", "V1.00", "EEPROM", "AABBCCDDEEFF", "MODEND"}),
                     false));
        QCOMPARE(line->frames().count("#07AABBCCDDEEFF"), sends);
        QCOMPARE(f->host.messages.join(QString()), errors);
        QTEST(f->host.status, "status");
        // The slot (0-based) is noted once per repetition.
        QVERIFY(f->host.statusHistory.contains("Loading from file. Wait...--" +
                                               QString(sends - 1, QChar('3'))));
    }

    void imageBlocks_data() {
        QTest::addColumn<bool>("specMode");
        QTest::addColumn<QByteArrayList>("body");
        QTest::addColumn<QStringList>("frames");
        QTest::newRow("ERROR lines only: reset, no error")
            << true << QByteArrayList{FileFormat::NoSpecialMode, "ERROR -2"}
            << (QStringList{"&", "#06"} + kFinish14);
        QTest::newRow("special mode refused: block skipped, no reset")
            << false << QByteArrayList{"AABBCCDDEEFF"} << QStringList{"&"};
    }
    void imageBlocks() {
        QFETCH(bool, specMode);
        QFETCH(QByteArrayList, body);
        QFETCH(QStringList, frames);
        TModule& m = current();
        m.InfoKind = InfoTerminal;
        line->script("06", {"06"});
        line->script("07", {"00"});
        if (!specMode) {
            // A module that refuses "&" but answers its select frame.
            f->peer.setResponder([](const QByteArray& frame) -> std::optional<PtyPeer::Reply> {
                if (frame == "!&\r")
                    return std::nullopt;
                return PtyPeer::Reply{QByteArray("\x06")};
            });
        }
        QVERIFY(load(crlf(QByteArrayList{"MOD", "0 3 1", "TESTMOD", "V1.00", "EEPROM"} + body +
                          QByteArrayList{"MODEND"}),
                     false));
        QCOMPARE(line->frames(), kSelect14 + frames);
        QVERIFY(f->host.messages.isEmpty());
        QCOMPARE(f->host.status, QString("Done."));
    }

    void fileErrorsSendNothing_data() {
        QTest::addColumn<QByteArray>("content");
        QByteArray file = crlf(kModuleExample);
        QTest::newRow("empty line") << file.replace("PARAM\r\n", "PARAM\r\n\r\n");
        file = crlf(kModuleExample);
        QTest::newRow("letter in a value line") << file.replace("12 0 250", "12 O 250");
        file = crlf(kModuleExample);
        QTest::newRow("two spaces") << file.replace("12 0 250", "12  0 250");
        file = crlf(kModuleExample);
        QTest::newRow("address of two fields") << file.replace("0 3 1", "0 3");
        QTest::newRow("bad block after a good one")
            << crlf(kModuleExample) + crlf(kModuleExample).replace("12 0", "12 x");
        QTest::newRow("missing file") << QByteArray();
    }
    void fileErrorsSendNothing() {
        QFETCH(QByteArray, content);
        current();
        f->state.ReloadRequest = true;
        SaveLoad files(*f->link, f->modules, f->state, f->host);
        if (!content.isEmpty())
            QVERIFY(writeFile("in.file", content));
        QVERIFY(!files.LoadSettingsFile("in.file", true));
        QVERIFY(f->peer.frames().isEmpty());
        QCOMPARE(f->host.messages, QStringList{"File I/O error."});
        QCOMPARE(f->host.errorFlags, QList<bool>{true});
        QCOMPARE(f->host.status, QString("Loading from file. Wait..."));
        QVERIFY(f->state.ReloadRequest);
        QCOMPARE(f->host.enabledHistory, QList<bool>({false, true}));
    }

    void waitForTheModuleAfterItsReset_data() {
        QTest::addColumn<int>("silentFrames"); // select frames ignored after the reset
        QTest::addColumn<int>("selectFrames"); // sent after the reset, two per select
        QTest::newRow("back at the fourth select") << 6 << 8;
        QTest::newRow("never back: the first and five more") << 1000 << 12;
    }
    void waitForTheModuleAfterItsReset() {
        QFETCH(int, silentFrames);
        current();
        line->silentAfterReset(silentFrames);
        QVERIFY(load(crlf(kModuleExample), false));
        const QStringList fr = line->frames();
        QTEST(int(fr.mid(fr.indexOf("7") + 1).count("S1/4")), "selectFrames");
        QCOMPARE(fr.last(), QString("S1/4"));
        QCOMPARE(f->host.status, QString("Done.")); // not reported either way
    }

    void portLostMidLoadEnablesControls() {
        current();
        QVERIFY(writeFile("in.file", crlf(kModuleExample)));
        f->peer.setResponder([](const QByteArray&) { return std::optional<PtyPeer::Reply>(); });
        f->link->ReplyTimeout = 5000;
        QTimer::singleShot(100, [&] { f->peer.hangUp(); });
        SaveLoad files(*f->link, f->modules, f->state, f->host);
        QVERIFY_THROWS_EXCEPTION(PortError, files.LoadSettingsFile("in.file", false));
        QCOMPARE(f->host.enabledHistory, QList<bool>({false, true}));
        QCOMPARE(f->host.progressHistory.last(), qMakePair(0, 0));
    }
};

ORVEX_TEST(LoadTest)
#include "load.moc"
