// Saving and loading module settings and configuration files against scripted modules:
// the file's bytes, every frame on the line, and what the user is told.
#include "tests/files/FakeLine.h"
#include "tests/support/TestMain.h"

#include <QRegularExpression>
#include <QtTest>

namespace {
const QString kWriting("Writing conf. file. Wait...");
const QString kLoading("Loading from file. Wait...");
const QByteArrayList kModuleBlock{"MOD",   "0 3 1",     "TESTMOD", "V1.00",
                                  "PARAM", "12 0 250 ", "MODEND"};
const QByteArrayList kModuleExample = QByteArrayList{";Machine generated file. DO NOT EDIT !",
                                                     ";Creation date/time 05.12.2026 14:03:11"} +
                                      kModuleBlock;
// A module file addresses the current module (subrack 1, slot 4) first; it is reset at the end.
const QString kSelect14("S1/4 S1/4");
const QString kWrites14("50,12 6 51,0 6 52,250 6");
const QString kFinish14("S1/4 S1/4 7 S1/4 S1/4");

// The file without its two comment lines, one string with "/" for each line end.
QByteArray blocks(const QByteArray& file) {
    return FileFormat::splitLines(file).mid(2).join('/');
}
} // namespace

class SaveLoadTest : public QObject {
    Q_OBJECT
    std::unique_ptr<LinkFixture> f;
    std::unique_ptr<FakeLine> line;

    SaveLoad files() { return SaveLoad(*f->link, f->modules, f->state, f->host); }
    bool load(const QByteArray& content, bool wholeConfig) {
        writeFile("in.file", content);
        return files().LoadSettingsFile("in.file", wholeConfig);
    }

    TModule& imageModule(int subrack, int slot) {
        line->setPresent(subrack, slot);
        return addModule(f->modules, subrack, slot, "RPR-4", "V2.10", InfoImage, 1);
    }
    // The current module for module files: subrack 1, slot 4 (0, 3).
    TModule& current() {
        f->state.CurSubrack = 0;
        f->state.CurSlot = 3;
        line->setPresent(0, 3);
        return addModule(f->modules, 0, 3, "TESTMOD", "V1.00", InfoParam, 1, {{0}, {0}, {0}});
    }

    // Every slot empty but 1/2, which holds a parameter module with the value 7.
    void goodModule() {
        scanEmpty(f->modules);
        line->setPresent(0, 1);
        addModule(f->modules, 0, 1, "TESTMOD", "V1", InfoParam, 1, {{7}});
        line->script("06", {"00"});
        line->script("07", {"00"});
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

    void saveModuleFile() {
        line->setPresent(0, 3);
        addModule(f->modules, 0, 3, "TESTMOD", "V1.00", InfoParam, 1, {{12}, {0}, {250}});
        QVERIFY(files().SaveModuleFile(0, 3, "m.mst"));
        const QByteArray file = fileBytes("m.mst");
        EXPECT_STARTS(file, ";Machine generated file. DO NOT EDIT !\r\n;Creation date/time ");
        const QString date = FileFormat::splitLines(file).value(1);
        QVERIFY2(QRegularExpression(
                     "^;Creation date/time \\d\\d\\.\\d\\d\\.\\d{4} \\d\\d:\\d\\d:\\d\\d$")
                     .match(date)
                     .hasMatch(),
                 qPrintable(date));
        EXPECT_BYTES(file.mid(file.indexOf("\r\nMOD\r\n") + 2), crlf(kModuleBlock));
        QCOMPARE(line->sent(), kSelect14);
        QCOMPARE(f->host.statusHistory, QStringList({kWriting, "Done."}));
        QCOMPARE(f->host.enabledHistory, QList<bool>({false, true}));
    }

    void saveConfigFile() {
        scanEmpty(f->modules);
        line->setPresent(0, 0);
        addModule(f->modules, 0, 0, "TESTMOD", "V1.00", InfoParam, 2, {{12, 1}, {15, 20}});
        addModule(f->modules, 0, 9, QString::fromLatin1("Typ\xE9"), "V1", InfoParam, 2);
        imageModule(0, 1); // refuses the first "03": an ERROR line, and the next module goes on
        imageModule(0, 5);
        line->script("03", {"-1", "03"});
        line->script("05", {"0011223344556677"});
        line->script("04", {"8899AABBCCDDEEFF", "00"});
        QVERIFY(files().SaveConfigFile("c.mmh"));
        // The channel selector's value on channel 0 is written as the channel digit.
        EXPECT_BYTES(blocks(fileBytes("c.mmh")),
                     "MOD/0 0 2/TESTMOD/V1.00/PARAM/02 15 /1 20 /MODEND/"
                     "MOD/0 1 1/RPR-4/V2.10/EEPROM/ERROR " +
                         specReply("-1").chopped(1) +
                         "/MODEND/"
                         "MOD/0 5 1/RPR-4/V2.10/EEPROM/0011223344556677/8899AABBCCDDEEFF/MODEND/"
                         "MOD/0 9 2/Typ\xE9/V1/PARAM/MODEND");
        EXPECT_BYTES(
            line->sent(),
            "S1/1 S1/1 S1/2 S1/2 & #03 S1/6 S1/6 & #03 #05 #04 #04 S1/6 S1/6 7 S1/10 S1/10");
        // One mark per slot of both subracks, and one for the first "04" of the dump.
        EXPECT_HAS(f->host.statusHistory, kWriting + QString(33, '-'));
        QCOMPARE(f->host.status, QString("Done. Errors found"));
        QCOMPARE(f->host.progressHistory.size(), 33);
        QCOMPARE(f->host.progressHistory[31], qMakePair(32, 32));
        QCOMPARE(f->host.progressHistory.last(), qMakePair(0, 0));
        QCOMPARE(f->host.enabledHistory, QList<bool>({false, true}));
        QVERIFY(f->host.messages.isEmpty());
        // A module without parameters writes no value lines: the file loads back.
        QCOMPARE(LoadSteps::firstFileError(FileFormat::splitLines(fileBytes("c.mmh")), true), -1);
    }

    // The EEPROM image of a module that refuses or breaks off the dump: an ERROR line, and
    // in a configuration file " Errors found".
    void imageRefusals_data() {
        QTest::addColumn<QByteArrayList>("replies03");
        QTest::addColumn<QByteArrayList>("replies05");
        QTest::addColumn<bool>("specialMode");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("frames");
        const QByteArray refusal = specReply("-9");
        QTest::newRow("no special mode")
            << QByteArrayList{} << QByteArrayList{} << false << FileFormat::NoSpecialMode << "&";
        QTest::newRow("03 refused: the reply up to its CR")
            << QByteArrayList{"-9"} << QByteArrayList{} << true << "ERROR " + refusal.chopped(1)
            << "& #03";
        QTest::newRow("05 unanswered: an ERROR line, not an empty one")
            << QByteArrayList{"03"} << QByteArrayList{} << true << QByteArray("ERROR -2")
            << "& #03 #05 S2/4 S2/4 7";
        QTest::newRow("short first answer: no 04")
            << QByteArrayList{"03"} << QByteArrayList{"00112233"} << true << QByteArray("00112233")
            << "& #03 #05 S2/4 S2/4 7";
    }
    void imageRefusals() {
        QFETCH(QByteArrayList, replies03);
        QFETCH(QByteArrayList, replies05);
        QFETCH(bool, specialMode);
        QFETCH(QByteArray, body);
        QFETCH(QString, frames);
        scanEmpty(f->modules);
        imageModule(1, 3);
        line->script("03", replies03);
        line->script("05", replies05);
        line->configure([&](FakeLine::Script& s) { s.refusesSpecialMode = !specialMode; });
        QVERIFY(files().SaveModuleFile(1, 3, "m.mst"));
        EXPECT_BYTES(blocks(fileBytes("m.mst")),
                     "MOD/1 3 1/RPR-4/V2.10/EEPROM/" + body + "/MODEND");
        QCOMPARE(line->sent(), "S2/4 S2/4 " + frames);
        const QString status = body.startsWith("ERROR") ? "Done. Errors found" : "Done.";
        QCOMPARE(f->host.status, status); // a module file and a configuration file alike
        QVERIFY(files().SaveConfigFile("c.mmh"));
        QCOMPARE(f->host.status, status);
        QCOMPARE(LoadSteps::firstFileError(FileFormat::splitLines(fileBytes("c.mmh")), true), -1);
    }

    // A save that cannot be completed leaves the earlier file as it was.
    void refusedSaveKeepsTheEarlierFile_data() {
        QTest::addColumn<int>("channels");
        QTest::newRow("101 channels") << 101;
        QTest::newRow("100 channels") << 100;
    }
    void refusedSaveKeepsTheEarlierFile() {
        QFETCH(int, channels);
        scanEmpty(f->modules);
        line->setPresent(0, 0);
        addModule(f->modules, 0, 0, "TESTMOD", "V1.00", InfoParam, 1, {{1}});
        addModule(f->modules, 0, 4, "WIDE", "V1", InfoParam, 1, {{1}}).ChannelCount = channels;
        QVERIFY(writeFile("m.mst", "earlier"));
        const bool fits = channels == 100;
        QCOMPARE(files().SaveModuleFile(0, 4, "m.mst"), fits);
        QCOMPARE(fileBytes("m.mst") == "earlier", !fits);
        QCOMPARE(f->host.messages, fits ? QStringList{} : QStringList{"File I/O error."});
        QCOMPARE(f->host.enabledHistory, QList<bool>({false, true}));
        if (!fits)
            EXPECT_STARTS(f->host.status, kWriting); // left as it stood
        // A file cannot be the folder of another (this stops root as well).
        f->host.messages.clear();
        QVERIFY(!files().SaveModuleFile(0, 0, "m.mst/x.mst"));
        QCOMPARE(f->host.messages, QStringList{"File I/O error."});
    }

    void loadModuleFile() {
        current();
        f->state.ReloadRequest = true;
        QVERIFY(load(crlf(kModuleExample), false));
        QCOMPARE(line->sent(), kSelect14 + " " + kWrites14 + " " + kFinish14);
        QCOMPARE(f->host.status, QString("Done."));
        QCOMPARE(f->host.statusHistory.first(), kLoading);
        // One mark per line read outside a block, at the kind line and in the value lines.
        EXPECT_HAS(f->host.statusHistory, kLoading + "----");
        QVERIFY(f->host.messages.isEmpty());
        QVERIFY(!f->state.ReloadRequest);
        QCOMPARE(f->host.enabledHistory, QList<bool>({false, true}));
        QCOMPARE(f->host.progressHistory.first(), qMakePair(1, 9));
        QCOMPARE(f->host.progressHistory.last(), qMakePair(0, 0));
    }

    void loadConfigFile() {
        addModule(f->modules, 0, 0, "TESTMOD", "V1.00", InfoParam, 2, {{0, 1}, {0, 0}, {0, 0}});
        addModule(f->modules, 1, 4, "TESTMOD", "V2.10", InfoTerminal, 1);
        line->setPresent(0, 0);
        line->setPresent(1, 4);
        line->script("06", {"06"});
        line->script("07", {"00"});
        QVERIFY(
            load(crlf({";Machine generated file. DO NOT EDIT !", "MOD", "0 0 2", "TESTMOD", "V1.00",
                       "PARAM", "0 15 1 ", "1 20 0 ", "MODEND", "MOD", "1 4 1", "TESTMOD", "V2.10",
                       "EEPROM", "00112233445566778899AABB", "8899AABBCCDDEEFF00112233", "MODEND"}),
                 true));
        EXPECT_BYTES(line->sent(), "S1/1 S1/1 50,0 6 51,15 6 52,1 6 50,1 6 51,20 6 52,0 6 "
                                   "S1/1 S1/1 7 S1/1 S1/1 S2/5 S2/5 & #06 "
                                   "#0700112233445566778899AABB #078899AABBCCDDEEFF00112233 "
                                   "S2/5 S2/5 7 S2/5 S2/5");
        QCOMPARE(f->host.status, QString("Done."));
        QVERIFY(f->host.messages.isEmpty());
    }

    // Blocks that are not loaded, lines that are, and what the user is told.
    void loadBlocks_data() {
        QTest::addColumn<QByteArrayList>("block");
        QTest::addColumn<QString>("frames"); // after the selection of the current module
        QTest::addColumn<QString>("errors");
        const auto changed = [](int line, const QByteArray& text) {
            QByteArrayList b = kModuleBlock;
            b[line] = text;
            return b;
        };
        QTest::newRow("other firmware") << changed(3, "V1.01") << ""
                                        << "Error: Module 1/4 firmware version mismatch\n";
        QTest::newRow("address ignored")
            << changed(1, "1 15 1") << kWrites14 + " " + kFinish14 << "";
        QByteArray longLine;
        QString writes;
        for (int i = 0; i <= 90; ++i) {
            longLine += QByteArray::number(i % 2) + ' ';
            writes += (i == 90 ? QString("5Z,0") : QString("5%1,%2").arg(i).arg(i % 2)) + " 6 ";
        }
        QTest::newRow("index 90 beyond the module's parameters")
            << changed(5, longLine) << writes + kFinish14 << "";
    }
    void loadBlocks() {
        QFETCH(QByteArrayList, block);
        QFETCH(QString, frames);
        QFETCH(QString, errors);
        current();
        QVERIFY(load(crlf(block), false));
        EXPECT_BYTES(line->sent(), (kSelect14 + " " + frames).trimmed());
        QCOMPARE(f->host.messages.join(QString()), errors);
        QCOMPARE(f->host.status, errors.isEmpty() ? QString("Done.") : QString(" Errors found"));
    }

    void onlyComments() {
        current();
        QVERIFY(load(crlf(QByteArrayList{";only comments", ";here"}) + "\x1A", true));
        QVERIFY(f->peer.frames().isEmpty());
        QCOMPARE(f->host.status, QString("Done."));
    }

    void imageRepeats_data() {
        QTest::addColumn<QByteArrayList>("replies");
        QTest::addColumn<int>("sends");
        QTest::newRow("other reply") << QByteArrayList{"02"} << 1;
        QTest::newRow("busy three times, then taken")
            << QByteArrayList{"01", "01", "01", "00"} << 4;
        QTest::newRow("busy to the end") << QByteArrayList{"01"} << 4;
    }
    void imageRepeats() {
        QFETCH(QByteArrayList, replies);
        QFETCH(int, sends);
        current().InfoKind = InfoImage;
        line->script("06", {"06"});
        line->script("07", replies);
        QVERIFY(load(crlf({"MOD", "0 3 1", "TESTMOD", "V1.00", "EEPROM", "AABBCCDDEEFF", "MODEND"}),
                     false));
        QCOMPARE(line->sent().count("#07AABBCCDDEEFF"), sends);
        const bool refused = replies.last() == "01";
        QCOMPARE(f->host.messages.join(QString()),
                 refused ? QString("Error: Module 1/4 can't write EEPROM\n") : QString());
        QCOMPARE(f->host.status, QString(refused ? " Errors found" : "Done."));
        // The slot (0-based) is noted once per repetition.
        EXPECT_HAS(f->host.statusHistory, kLoading + "--" + QString(sends - 1, QChar('3')));
    }

    void imageBlocks_data() {
        QTest::addColumn<bool>("specialMode");
        QTest::addColumn<QByteArrayList>("body");
        QTest::addColumn<QString>("frames");
        QTest::newRow("ERROR lines only: reset, no error")
            << true << QByteArrayList{FileFormat::NoSpecialMode, "ERROR -2"}
            << "& #06 " + kFinish14;
        QTest::newRow("special mode refused: block skipped, no reset")
            << false << QByteArrayList{"AABBCCDDEEFF"} << "&";
    }
    void imageBlocks() {
        QFETCH(bool, specialMode);
        QFETCH(QByteArrayList, body);
        QFETCH(QString, frames);
        current().InfoKind = InfoTerminal;
        line->script("06", {"06"});
        line->script("07", {"00"});
        line->configure([&](FakeLine::Script& s) { s.refusesSpecialMode = !specialMode; });
        QVERIFY(load(crlf(QByteArrayList{"MOD", "0 3 1", "TESTMOD", "V1.00", "EEPROM"} + body +
                          QByteArrayList{"MODEND"}),
                     false));
        QCOMPARE(line->sent(), kSelect14 + " " + frames);
        QVERIFY(f->host.messages.isEmpty());
        QCOMPARE(f->host.status, QString("Done."));
    }

    // A file that would stop with "File I/O error." writes nothing to any module.
    void fileErrorsSendNothing_data() {
        QTest::addColumn<QByteArray>("content");
        const QByteArray file = crlf(kModuleExample);
        QTest::newRow("empty line") << QByteArray(file).replace("PARAM\r\n", "PARAM\r\n\r\n");
        QTest::newRow("letter in a value line") << QByteArray(file).replace("12 0 250", "12 O 250");
        QTest::newRow("bad block after a good one")
            << file + QByteArray(file).replace("12 0", "12 x");
        QTest::newRow("missing file") << QByteArray();
    }
    void fileErrorsSendNothing() {
        QFETCH(QByteArray, content);
        current();
        f->state.ReloadRequest = true;
        if (!content.isEmpty())
            QVERIFY(writeFile("in.file", content));
        QVERIFY(!files().LoadSettingsFile("in.file", true));
        QVERIFY(f->peer.frames().isEmpty());
        QCOMPARE(f->host.messages, QStringList{"File I/O error."});
        QCOMPARE(f->host.errorFlags, QList<bool>{true});
        QCOMPARE(f->host.status, kLoading);
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
        line->configure([&](FakeLine::Script& s) { s.silentAfterReset = silentFrames; });
        QVERIFY(load(crlf(kModuleExample), false));
        const QStringList fr = line->sent().split(' ');
        QTEST(int(fr.mid(fr.indexOf("7") + 1).count("S1/4")), "selectFrames");
        QCOMPARE(fr.last(), QString("S1/4"));
        QCOMPARE(f->host.status, QString("Done.")); // not reported either way
    }

    // The line vanishes in the first exchange: the earlier file stays, the controls come back.
    void portLost() {
        imageModule(0, 0);
        QVERIFY(writeFile("m.mst", "earlier"));
        f->peer.setResponder({});
        f->link->ReplyTimeout = 5000;
        QTimer::singleShot(0, [&] { f->peer.hangUp(); }); // inside the first wait
        QVERIFY(!files().SaveModuleFile(0, 0, "m.mst"));
        QCOMPARE(fileBytes("m.mst"), QByteArray("earlier"));
        QCOMPARE(f->host.messages, QStringList{"File I/O error."});
        QVERIFY_THROWS_EXCEPTION(PortError, load(crlf(kModuleExample), false));
        QCOMPARE(f->host.enabledHistory, QList<bool>({false, true, false, true}));
        QCOMPARE(f->host.progressHistory.last(), qMakePair(0, 0));
    }

    // A configuration save with one module it cannot store as it is: the file says so in an
    // ERROR line, and loads back with the other module applied.
    void savedFileLoadsBack_data() {
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("version");
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("channels");
        QTest::addColumn<QByteArrayList>("image"); // answers to "05", then to every "04"
        QTest::addColumn<QByteArrayList>("block"); // the module's block after its address
        QTest::addColumn<QString>("status");
        const QString errors("Done. Errors found");
        QTest::newRow("empty version")
            << "PM"
            << "" << int(InfoParam) << 1 << QByteArrayList{}
            << QByteArrayList{"PM", FileFormat::BadVersion, "MODEND"} << errors;
        QTest::newRow("type read as a comment")
            << ";PM"
            << "V1" << int(InfoParam) << 1 << QByteArrayList{}
            << QByteArrayList{FileFormat::BadTypeName, "MODEND"} << errors;
        QTest::newRow("image module without channels")
            << "RPR"
            << "V2" << int(InfoImage) << 0 << QByteArrayList{"0011"}
            << QByteArrayList{"RPR", "V2", "EEPROM", "0011", "MODEND"} << QString("Done.");
        QTest::newRow("image that never ends")
            << "RPR"
            << "V2" << int(InfoImage) << 1 << QByteArrayList{"0011223344556677", "8899AABBCCDDEEFF"}
            << QByteArrayList{"RPR", "V2", "EEPROM", FileFormat::ImageTooLong, "MODEND"} << errors;
    }
    void savedFileLoadsBack() {
        QFETCH(QString, type);
        QFETCH(QString, version);
        QFETCH(int, kind);
        QFETCH(int, channels);
        QFETCH(QByteArrayList, image);
        goodModule();
        line->setPresent(0, 2);
        addModule(f->modules, 0, 2, type, version, quint8(kind), channels, {{3}});
        line->script("03", {"03"});
        line->script("05", image.mid(0, 1));
        line->script("04", image.mid(1));
        QVERIFY(files().SaveConfigFile("c.mmh"));
        QTEST(f->host.status, "status");
        const QByteArrayList lines = FileFormat::splitLines(fileBytes("c.mmh"));
        const qsizetype at = lines.indexOf("0 2 " + QByteArray::number(channels));
        QVERIFY(at > 0);
        QByteArrayList block = lines.mid(at + 1);
        QTEST(block.mid(0, block.indexOf("MODEND") + 1), "block");
        if (kind == InfoImage) // the module is back from its special mode
            QCOMPARE(line->frames().filter(QRegularExpression("^7$")).size(), 1);

        f->peer.clearReceived();
        QVERIFY(files().LoadSettingsFile("c.mmh", true));
        QVERIFY(!f->host.messages.contains("File I/O error."));
        QVERIFY2(line->frames().contains("50,7"), qPrintable(line->frames().join(' ')));
    }

    // A block that the head-end refuses is skipped with its error line, whatever it holds,
    // and sends nothing but its presence check; the other blocks are applied.
    void loadSkipsRefusedBlocks_data() {
        QTest::addColumn<QByteArrayList>("refused");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QStringList>("checks"); // frames sent for the refused block
        const QByteArrayList malformed{"TESTMOD", "V1", "PARAM", "1 x 2 ", "MODEND"};
        QTest::newRow("absent module, malformed values")
            << QByteArrayList{"MOD", "0 2 1"} + malformed << "Error: Module 1/3 not responding."
            << QStringList{"S1/3", "S1/3"};
        QTest::newRow("other type, malformed values")
            << QByteArrayList{"MOD", "0 3 1"} + malformed << "Error: Module 1/4 type mismatch"
            << QStringList{"S1/4", "S1/4"};
        const QByteArrayList body{"TESTMOD", "V1", "PARAM", "5 ", "MODEND"};
        QTest::newRow("slot 17") << QByteArrayList{"MOD", "0 16 1"} + body
                                 << "Error: Module 1/17 not responding." << QStringList{};
        QTest::newRow("subrack 3") << QByteArrayList{"MOD", "2 0 1"} + body
                                   << "Error: Module 3/1 not responding." << QStringList{};
        QTest::newRow("subrack giving CR")
            << QByteArrayList{"MOD", "-179 0 1"} + body << "Error: Module -178/1 not responding."
            << QStringList{};
        QTest::newRow("largest numbers")
            << QByteArrayList{"MOD", "2147483647 2147483647 1"} + body
            << "Error: Module 2147483648/2147483648 not responding." << QStringList{};
    }
    void loadSkipsRefusedBlocks() {
        QFETCH(QByteArrayList, refused);
        QFETCH(QString, error);
        QFETCH(QStringList, checks);
        goodModule();
        line->setPresent(0, 3);
        addModule(f->modules, 0, 3, "OTHER", "V1", InfoParam, 1, {{1}});
        const QByteArrayList good{"MOD", "0 1 1", "TESTMOD", "V1", "PARAM", "7 ", "MODEND"};
        QVERIFY(writeFile("c.mmh", crlf(refused + good)));
        QVERIFY(files().LoadSettingsFile("c.mmh", true));
        QCOMPARE(f->host.messages, QStringList{error + '\n'});
        QCOMPARE(f->host.errorFlags, QList<bool>{true});
        QCOMPARE(f->host.status, QString(" Errors found"));
        const QStringList applied{"S1/2", "S1/2", "50,7", "6", "S1/2", "S1/2", "7", "S1/2", "S1/2"};
        QCOMPARE(line->frames(), checks + applied);
    }
};

ORVEX_TEST(SaveLoadTest)
#include "saveload.moc"
