// Saving and loading module settings and configuration files against scripted modules:
// the file's bytes, every frame on the line, and what the user is told.
#include "files/SaveLoad.h"
#include "files/Compare.h"
#include "files/FileFormat.h"
#include "files/LoadSteps.h"
#include "tests/support/Expect.h"
#include "tests/support/Files.h"
#include "tests/support/LinkFixture.h"
#include "tests/support/TestMain.h"

#include <QMap>
#include <QRegularExpression>
#include <QSet>
#include <QtTest>
#include <mutex>

namespace {
const QString kWriting("Writing conf. file. Wait...");
const QString kLoading("Loading from file. Wait...");
const QString kErrors("Done. Errors found");
const QByteArray kNoAnswer("(no answer)"); // a scripted special command left unanswered
// A module file addresses the current module (subrack 1, slot 4) first; it is reset at the end.
const QString kSelect14("S1/4 S1/4");
const QString kWrites14("50,12 6 51,0 6 52,250 6");
const QString kFinish14("S1/4 S1/4 7 S1/4 S1/4");

// Lines joined with CR LF, the last one ended too.
QByteArray crlf(const QByteArrayList& lines) {
    return lines.join("\r\n") + "\r\n";
}
} // namespace

// The modules behind the scripted peer: present slots answer their select frame, the selected
// module acknowledges every command, and special commands are answered from a script (text
// before the "R"; the last reply repeats; none or kNoAnswer: silence). Runs on the peer's reader
// thread.
struct ScriptedModules {
    std::mutex mutex;
    QSet<int> present; // subrack * 16 + slot
    QMap<QByteArray, QByteArrayList> special;
    int selected = -1;
    int silentAfterReset = 0; // select frames ignored after a "7"
    int silentLeft = 0;
    bool refusesSpecialMode = false;

    std::optional<PtyPeer::Reply> answer(const QByteArray& fr) {
        std::lock_guard lock(mutex);
        if (PtyPeer::isSelect(fr)) {
            if (silentLeft > 0 && silentLeft--)
                return std::nullopt;
            const int address = (quint8(fr[1]) - 0xC0) * 16 + (quint8(fr[2]) - 0x80);
            selected = present.contains(address) ? address : -1;
        }
        if (selected < 0 || (fr == "!&\r" && refusesSpecialMode))
            return std::nullopt;
        if (fr.endsWith("\n\r")) {
            QByteArrayList* replies = nullptr;
            for (auto it = special.begin(); it != special.end(); ++it)
                replies = fr.mid(1).startsWith(it.key()) ? &it.value() : replies;
            if (!replies || replies->isEmpty())
                return std::nullopt;
            const QByteArray text = replies->size() > 1 ? replies->takeFirst() : replies->first();
            if (text == kNoAnswer)
                return std::nullopt;
            return PtyPeer::Reply{specReply(text)};
        }
        if (fr == "!7\r")
            silentLeft = silentAfterReset;
        return PtyPeer::Reply{"\x06"};
    }
};

class SaveLoadTest : public QObject {
    Q_OBJECT
    std::unique_ptr<LinkFixture> f;
    std::shared_ptr<ScriptedModules> line;

    SaveLoad files() { return SaveLoad(*f->link, f->modules, f->state, f->host); }
    bool load(const QByteArray& content, bool wholeConfig) {
        writeFile("in.file", content);
        return files().LoadSettingsFile("in.file", wholeConfig);
    }
    template <class Set> void configure(Set set) {
        std::lock_guard lock(line->mutex);
        set(*line);
    }
    void script(const QByteArray& command, const QByteArrayList& replies) {
        configure([&](ScriptedModules& s) { s.special[command] = replies; });
    }
    // A present module as the scan leaves its record; values[param][channel].
    TModule& module(int subrack, int slot, const QString& type, const QString& version, quint8 kind,
                    int channels, const QVector<QVector<qint32>>& values = {}) {
        configure([&](ScriptedModules& s) { s.present.insert(subrack * 16 + slot); });
        TModule& m = f->modules.renew(slot, subrack);
        m.TypeName = type;
        m.VersionText = version;
        m.InfoKind = kind;
        m.ChannelCount = channels;
        m.ParamCount = int(values.size());
        for (const QVector<qint32>& channelValues : values) {
            TParam p;
            for (int k = 0; k < channelValues.size(); ++k)
                p.Values[k] = channelValues[k];
            m.Params << p;
        }
        return m;
    }
    // The frames sent, readably (PtyPeer::readable), one space between them.
    QString sent() const {
        QStringList out;
        for (const QByteArray& fr : f->peer.frames())
            out << PtyPeer::readable(fr);
        return out.join(' ');
    }

private Q_SLOTS:
    void init() {
        f = std::make_unique<LinkFixture>();
        line = std::make_shared<ScriptedModules>();
        f->peer.setResponder([s = line](const QByteArray& fr) { return s->answer(fr); });
        QVERIFY(f->open());
        f->link->ReplyTimeout = 80;
    }
    void cleanup() {
        f.reset();
        line.reset();
    }

    void saveConfigFile() {
        f->modules.renew(15, 1).TypeName = NotInstalledText; // as a scan leaves an empty slot
        module(0, 0, "TESTMOD", "V1.00", InfoParam, 2, {{12, 1}, {15, 20}});
        module(0, 9, QString::fromLatin1("Typ\xE9"), "V1", InfoParam, 2);
        // (A module that refuses "03", and the next one saved on: saveModule.)
        module(0, 5, "RPR-4", "V2.10", InfoImage, 1);
        script("03", {"03"});
        script("05", {"0011223344556677"});
        script("04", {"8899AABBCCDDEEFF", "00"});
        // 1/6 does not answer again after its reset: said, not "Done." alone.
        configure([](ScriptedModules& s) { s.silentAfterReset = 12; });
        // The earlier file holds 2/16, silent now: it stays, the save goes beside it.
        const QByteArray earlier = crlf({"MOD", "1 15 1", "GONE", "V1", "PARAM", "1 ", "MODEND"});
        QVERIFY(writeFile("c.mmh", earlier));
        SaveLoad save = files();
        QVERIFY(save.SaveConfigFile("c.mmh"));
        const QString beside = save.savedAs();
        QVERIFY2(QRegularExpression("^c-\\d{8}-\\d{6}\\.mmh$").match(beside).hasMatch(),
                 qPrintable(beside));
        QCOMPARE(fileBytes("c.mmh"), earlier);
        // The channel selector's value on channel 0 is written as the channel digit.
        EXPECT_BYTES(FileFormat::splitLines(fileBytes(beside)).mid(2).join('/'),
                     "MOD/0 0 2/TESTMOD/V1.00/PARAM/02 15 /1 20 /MODEND/"
                     "MOD/0 5 1/RPR-4/V2.10/EEPROM/0011223344556677/8899AABBCCDDEEFF/MODEND/"
                     "MOD/0 9 2/Typ\xE9/V1/PARAM/MODEND");
        EXPECT_BYTES(sent(), "S1/1 S1/1 S1/6 S1/6 & #03 #05 #04 #04 S1/6 S1/6 7" +
                                 QString(" S1/6").repeated(12) + " S1/10 S1/10");
        // One mark per slot of both subracks, and one for the first "04" of the dump.
        EXPECT_HAS(f->host.statusHistory, kWriting + QString(33, '-'));
        QCOMPARE(f->host.status, kErrors);
        QCOMPARE(f->host.progressHistory.mid(30),
                 (QList<QPair<int, int>>{{31, 32}, {32, 32}, {0, 0}}));
        QCOMPARE(f->host.messages,
                 QStringList({"Error: Module 1/6 not responding after its reset.\n",
                              "c.mmh is kept as it was: it holds 2/16, which did not answer now. "
                              "This save is " +
                                  beside + "."}));
        // A module without parameters writes no value lines: the file loads back.
        QCOMPARE(LoadSteps::firstFileError(FileFormat::splitLines(fileBytes(beside)), true), -1);
    }

    // One module saved to a module file (its header, its block, the frames of the save), then
    // with the head-end to a configuration file, which reads and loads back with the next
    // module's value applied. A module the save cannot store as it is gets an ERROR line in its
    // block.
    void saveModule_data() {
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("version");
        QTest::addColumn<int>("channels");
        QTest::addColumn<QByteArrayList>("replies03");
        QTest::addColumn<QByteArrayList>("image"); // answers to "05", then to every "04"
        QTest::addColumn<QByteArrayList>("block"); // after the address line
        QTest::addColumn<QString>("frames");       // after the select frames
        const auto row = [](const char* name, const char* type, const char* version, int channels,
                            const QByteArrayList& replies03, const QByteArrayList& image,
                            const QByteArrayList& block, const QString& frames) {
            QTest::newRow(name) << QString(type) << QString(version) << channels << replies03
                                << image << block << frames;
        };
        const QString reset(" S1/1 S1/1 7 S1/1 S1/1"); // selected until it answers again
        row("parameter module", "TESTMOD", "V1.00", 1, {}, {},
            {"TESTMOD", "V1.00", "PARAM", "3 ", "MODEND"}, "");
        row("empty version", "PM", "", 1, {}, {}, {"PM", FileFormat::BadVersion, "MODEND"}, "");
        row("type read as a comment", ";PM", "V1", 1, {}, {}, {FileFormat::BadTypeName, "MODEND"},
            "");
        row("information not read", "PM", "V1", 0, {}, {},
            {"PM", FileFormat::InfoNotRead, "MODEND"}, "");
        row("values not read", "PM", "V1", 1, {}, {}, {"PM", FileFormat::InfoNotRead, "MODEND"},
            "");
        row("no special mode", "RPR-4", "V2.10", 1, {}, {},
            {"RPR-4", "V2.10", "EEPROM", FileFormat::NoSpecialMode, "MODEND"}, " &");
        row("03 refused: the reply up to its CR", "RPR-4", "V2.10", 1, {"-9"}, {},
            {"RPR-4", "V2.10", "EEPROM", "ERROR " + specReply("-9").chopped(1), "MODEND"},
            " & #03");
        row("05 unanswered: an ERROR line, not an empty one", "RPR-4", "V2.10", 1, {"03"}, {},
            {"RPR-4", "V2.10", "EEPROM", "ERROR -2", "MODEND"}, " & #03 #05" + reset);
        row("no channels, short first answer: no 04", "RPR", "V2", 0, {"03"}, {"00112233"},
            {"RPR", "V2", "EEPROM", "00112233", "MODEND"}, " & #03 #05" + reset);
        row("04 unanswered in the middle: nothing of the image kept", "RPR", "V2", 1, {"03"},
            {"0011223344556677", "8899AABBCCDDEEFF", kNoAnswer},
            {"RPR", "V2", "EEPROM", "ERROR -2", "MODEND"}, " & #03 #05 #04 #04" + reset);
        row("image that never ends", "RPR", "V2", 1, {"03"},
            {"0011223344556677", "8899AABBCCDDEEFF"},
            {"RPR", "V2", "EEPROM", FileFormat::ImageTooLong, "MODEND"},
            " & #03 #05" + QString(" #04").repeated(FileFormat::MaxImageLines) + reset);
    }
    void saveModule() {
        QFETCH(QString, type);
        QFETCH(QString, version);
        QFETCH(int, channels);
        QFETCH(QByteArrayList, replies03);
        QFETCH(QByteArrayList, image);
        QFETCH(QByteArrayList, block);
        QFETCH(QString, frames);
        module(0, 1, "TESTMOD", "V1", InfoParam, 1, {{7}}); // the next module
        script("06", {"00"});
        script("07", {"00"});
        const quint8 kind = block.contains("EEPROM") ? InfoImage : InfoParam;
        module(0, 0, type, version, kind, channels, {{3}});
        if (channels > 0 && block.contains(FileFormat::InfoNotRead))
            f->modules.at(0, 0)->UnreadParts = TModule::ValuesPart;
        script("03", replies03);
        script("05", image.mid(0, 1));
        script("04", image.mid(1));
        configure([&](ScriptedModules& s) {
            s.refusesSpecialMode = block.contains(FileFormat::NoSpecialMode);
        });
        QVERIFY(files().SaveModuleFile(0, 0, "m.mst"));
        const QByteArray file = fileBytes("m.mst");
        static const QRegularExpression header("^;Machine generated file\\. DO NOT EDIT !\r\n"
                                               ";Creation date/time \\d\\d\\.\\d\\d\\.\\d{4} "
                                               "\\d\\d:\\d\\d:\\d\\d\r\nMOD\r\n");
        QVERIFY2(header.match(QString::fromLatin1(file)).hasMatch(), expect::escaped(file));
        EXPECT_BYTES(file.mid(file.indexOf("\r\nMOD\r\n") + 2),
                     crlf(QByteArrayList{"MOD", "0 0 " + QByteArray::number(channels)} + block));
        QCOMPARE(sent(), "S1/1 S1/1" + frames);
        // A block with an ERROR line cannot restore the module: not "Done." alone, in a module
        // file and a configuration file alike.
        const QString status = block.join().contains("ERROR") ? kErrors : "Done.";
        QCOMPARE(f->host.status, status);
        QVERIFY(files().SaveConfigFile("c.mmh"));
        QCOMPARE(f->host.status, status);
        // A block the save could not store ends at its ERROR line; the next one is read whole.
        Compare::Blocks blocks;
        QVERIFY(Compare::readBlocks(fileBytes("c.mmh"), false, &blocks));
        QCOMPARE(blocks.size(), 2);
        QCOMPARE(blocks[1].values, QList<QVector<qint32>>{{7}});
        f->peer.clearReceived();
        QVERIFY(files().LoadSettingsFile("c.mmh", true));
        QVERIFY2(sent().contains("S1/2 S1/2 50,7 6"), qPrintable(sent()));
    }

    // A save that cannot be completed leaves the earlier file as it was and says why: a module
    // with more channels than a file can describe, a file in the place of a folder (this stops
    // root as well).
    void failedSaveKeepsTheEarlierFile() {
        TModule& wide = module(0, 4, "WIDE", "V1", InfoParam, 101, {{1}});
        QVERIFY(writeFile("m.mst", "earlier"));
        QVERIFY(!files().SaveModuleFile(0, 4, "m.mst"));
        EXPECT_STARTS(f->host.status, kWriting); // left as it stood
        wide.ChannelCount = 100;                 // the most a file can describe
        QVERIFY(files().SaveModuleFile(0, 4, "x.mst"));
        QVERIFY(!files().SaveModuleFile(0, 4, "m.mst/x.mst"));
        QCOMPARE(fileBytes("m.mst"), QByteArray("earlier"));
        QCOMPARE(
            f->host.messages,
            QStringList({"File I/O error. m.mst: module 1/5 has 101 channels, a file holds "
                         "100 at most; the earlier file is kept.",
                         "File I/O error. m.mst/x.mst: Not a directory; no file was written."}));
    }

    // The line lost while a command waits: a save keeps the earlier file and says why; a load
    // (its module silent after the first commit) names the module it had begun to write. Both
    // give the controls back.
    void lineLost_data() {
        QTest::addColumn<bool>("save");
        QTest::newRow("save") << true;
        QTest::newRow("load") << false;
    }
    void lineLost() {
        QFETCH(bool, save);
        module(0, 3, "TESTMOD", "V1.00", InfoParam, 1, {{0}, {0}, {0}});
        f->state.CurSlot = 3;
        QVERIFY(writeFile("m.mst", "earlier"));
        auto silent = std::make_shared<std::atomic_bool>(save);
        f->peer.setResponder([s = line, silent](const QByteArray& fr) {
            if (*silent)
                return std::optional<PtyPeer::Reply>();
            *silent = fr == "!6\r";
            return s->answer(fr);
        });
        f->link->ReplyTimeout = 5000;
        QTimer cut;
        connect(&cut, &QTimer::timeout, [&] {
            if (f->peer.frames().size() > (save ? 0 : 4))
                f->peer.hangUp();
        });
        cut.start(5);
        f->host.enabledHistory.clear();
        QString said;
        try {
            QVERIFY(save ? !files().SaveModuleFile(0, 3, "m.mst")
                         : load(crlf(kModuleBlock), false));
        } catch (const PortError& e) {
            said = e.text();
        }
        QCOMPARE(f->host.enabledHistory, QList<bool>({false, true}));
        if (!save) {
            EXPECT_ENDS(said,
                        "\nLoading stopped when the line was lost; written to: 1/4 (in part).");
            QCOMPARE(f->host.progressHistory.last(), qMakePair(0, 0));
            return;
        }
        QCOMPARE(fileBytes("m.mst"), QByteArray("earlier"));
        QCOMPARE(f->host.messages.size(), 1);
        EXPECT_STARTS(f->host.messages.first(),
                      "The line was lost while saving m.mst (The serial port was lost (");
        EXPECT_ENDS(f->host.messages.first(), "); the earlier file is kept.");
    }

    // A module file goes to the current module whatever address it names: what reaches the
    // module and what the user is told. An image line the module answers busy ("01") is sent
    // up to three times more, the slot noted each time; ERROR lines are not sent; a module that
    // refuses its special mode has its block skipped and is not reset. A file that would stop
    // with "File I/O error." sends nothing at all, to any module.
    void loadModuleFile_data() {
        QTest::addColumn<QByteArray>("file"); // empty: there is no such file
        QTest::addColumn<QString>("frames");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("marks");          // added to the status text
        QTest::addColumn<QByteArrayList>("replies"); // to "07"
        QTest::addColumn<int>("silent"); // select frames the module ignores after its reset
        QTest::addColumn<bool>("specialMode");
        const auto row = [](const char* name, const QByteArray& file, const QString& frames,
                            const QString& message = {}, const QString& marks = "----",
                            const QByteArrayList& replies = {"00"}, int silent = 0,
                            bool specialMode = true) {
            QTest::newRow(name) << file << frames << message << marks << replies << silent
                                << specialMode;
        };
        const auto changed = [](int line, const QByteArray& text) {
            return crlf(changedLine(kModuleBlock, line, text));
        };
        const QString applied = kSelect14 + " " + kWrites14 + " " + kFinish14;
        const QByteArray saved = crlf({";Machine generated file. DO NOT EDIT !",
                                       ";Creation date/time 05.12.2026 14:03:11"}) +
                                 crlf(kModuleBlock);
        row("as saved", saved, applied);
        row("address ignored", changed(1, "1 15 1"), applied);
        row("other firmware", changed(3, "V1.01"), kSelect14,
            "Error: Module 1/4 firmware version mismatch\n");
        QString writes;
        for (int i = 0; i < 90; ++i)
            writes += QString("5%1,%2 6 ").arg(i).arg(i % 2);
        row("index 90 beyond the module's parameters",
            changed(5, QByteArray("0 1 ").repeated(45) + "0 "),
            kSelect14 + " " + writes + "5Z,0 6 " + kFinish14);
        row("only comments", crlf({";only comments", ";here"}), "", {}, "");
        // After its reset the module is selected until it answers: the first and five more.
        const QString reset = kSelect14 + " " + kWrites14 + " S1/4 S1/4 7";
        row("back at the fourth select", saved, reset + QString(" S1/4").repeated(8), {}, "----",
            {}, 6);
        row("never back, not reported", saved, reset + QString(" S1/4").repeated(12), {}, "----",
            {}, 1000);
        const auto image = [](const QByteArrayList& body) {
            return crlf(QByteArrayList{"MOD", "0 3 1", "TESTMOD", "V1.00", "EEPROM"} + body +
                        QByteArrayList{"MODEND"});
        };
        const auto sends = [](int n) {
            return kSelect14 + " & #06" + QString(" #07AABBCCDDEEFF").repeated(n) + " " + kFinish14;
        };
        row("image line, other reply", image({"AABBCCDDEEFF"}), sends(1), {}, "--", {"02"});
        row("image line busy three times, then taken", image({"AABBCCDDEEFF"}), sends(4), {},
            "--333", {"01", "01", "01", "00"});
        row("image line busy to the end", image({"AABBCCDDEEFF"}), sends(4),
            "Error: Module 1/4 can't write EEPROM\n", "--333", {"01"});
        row("image of ERROR lines only: reset, no error",
            image({FileFormat::NoSpecialMode, "ERROR -2"}), sends(0), {}, "--");
        row("special mode refused: block skipped, no reset", image({"AABBCCDDEEFF"}),
            kSelect14 + " &", {}, "----", {}, 0, false);
        row("bad block after a good one", saved + QByteArray(saved).replace("12 0", "12 x"), "",
            "File I/O error.", "");
        row("missing file", "", "", "File I/O error.", "");
    }
    void loadModuleFile() {
        QFETCH(QByteArray, file);
        QFETCH(QString, frames);
        QFETCH(QString, message);
        QFETCH(QString, marks);
        QFETCH(QByteArrayList, replies);
        QFETCH(int, silent);
        QFETCH(bool, specialMode);
        f->state.CurSubrack = 0; // the current module: subrack 1, slot 4
        f->state.CurSlot = 3;
        module(0, 3, "TESTMOD", "V1.00", InfoParam, 1, {{0}, {0}, {0}});
        f->state.ReloadRequest = true;
        script("06", {"06"});
        script("07", replies);
        configure([&](ScriptedModules& s) {
            s.silentAfterReset = silent;
            s.refusesSpecialMode = !specialMode;
        });
        if (!file.isEmpty())
            QVERIFY(writeFile("in.file", file));
        const bool refused = message == "File I/O error.";
        QCOMPARE(files().LoadSettingsFile("in.file", false), !refused);
        EXPECT_BYTES(sent(), frames);
        QCOMPARE(f->host.messages.join(QString()), message);
        QCOMPARE(f->host.status, refused             ? kLoading
                                 : message.isEmpty() ? QString("Done.")
                                                     : QString(" Errors found"));
        // One mark per line read outside a block, at the kind line and in the value lines.
        EXPECT_HAS(f->host.statusHistory, kLoading + marks);
        QCOMPARE(f->state.ReloadRequest, refused); // the re-read is asked for until a load
        QCOMPARE(f->host.enabledHistory, QList<bool>({false, true}));
        QCOMPARE(f->host.progressHistory.first(),
                 refused ? qMakePair(0, 0)
                         : qMakePair(1, int(FileFormat::splitLines(file).size())));
        QCOMPARE(f->host.progressHistory.last(), qMakePair(0, 0));
    }

    // A configuration file: a block that the head-end refuses is skipped with its error line,
    // whatever it holds, and sends nothing but its presence check; the other blocks (values on
    // two channels, an EEPROM image) are applied.
    void loadConfigFile_data() {
        QTest::addColumn<QByteArrayList>("refused");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QString>("checks"); // frames sent for the refused block
        const auto row = [](const char* name, const QByteArray& address, const QByteArrayList& body,
                            const char* error, const char* checks) {
            QTest::newRow(name) << (address.isEmpty() ? QByteArrayList{}
                                                      : QByteArrayList{"MOD", address} + body)
                                << (*error ? "Error: Module " + QString(error) + '\n' : QString())
                                << QString(checks);
        };
        row("every block taken", "", {}, "", "");
        const QByteArrayList malformed{"TESTMOD", "V1", "PARAM", "1 x 2 ", "MODEND"};
        row("absent module, malformed values", "0 2 1", malformed, "1/3 not responding.",
            "S1/3 S1/3 ");
        row("other type, malformed values", "0 3 1", malformed, "1/4 type mismatch", "S1/4 S1/4 ");
        const QByteArrayList body{"TESTMOD", "V1", "PARAM", "5 ", "MODEND"};
        row("slot 17", "0 16 1", body, "1/17 not responding.", "");
        row("subrack giving CR", "-179 0 1", body, "-178/1 not responding.", "");
        row("largest numbers", "2147483647 2147483647 1", body,
            "2147483648/2147483648 not responding.", "");
    }
    void loadConfigFile() {
        QFETCH(QByteArrayList, refused);
        QFETCH(QString, error);
        QFETCH(QString, checks);
        module(0, 0, "TESTMOD", "V1.00", InfoParam, 2, {{0, 1}, {0, 0}, {0, 0}});
        module(1, 4, "TESTMOD", "V2.10", InfoTerminal, 1);
        module(0, 3, "OTHER", "V1", InfoParam, 1, {{1}});
        script("06", {"06"});
        script("07", {"00"});
        QVERIFY(load(crlf(refused + QByteArrayList{";Machine generated file. DO NOT EDIT !", "MOD",
                                                   "0 0 2", "TESTMOD", "V1.00", "PARAM", "0 15 1 ",
                                                   "1 20 0 ", "MODEND", "MOD", "1 4 1", "TESTMOD",
                                                   "V2.10", "EEPROM", "00112233445566778899AABB",
                                                   "8899AABBCCDDEEFF00112233", "MODEND"}),
                     true));
        EXPECT_BYTES(sent(), checks + "S1/1 S1/1 50,0 6 51,15 6 52,1 6 50,1 6 51,20 6 52,0 6 "
                                      "S1/1 S1/1 7 S1/1 S1/1 S2/5 S2/5 & #06 "
                                      "#0700112233445566778899AABB #078899AABBCCDDEEFF00112233 "
                                      "S2/5 S2/5 7 S2/5 S2/5");
        QCOMPARE(f->host.messages.join(QString()), error);
        QCOMPARE(f->host.errorFlags, QList<bool>(error.isEmpty() ? 0 : 1, true));
        QCOMPARE(f->host.status, QString(error.isEmpty() ? "Done." : " Errors found"));
    }
};

ORVEX_TEST(SaveLoadTest)
#include "saveload.moc"
