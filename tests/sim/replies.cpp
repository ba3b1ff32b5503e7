// The simulator's answers to the one-character commands and the special commands, checked
// byte for byte against the documented examples.
#include "SimTestLine.h"
#include "tests/support/TestMain.h"

#include "sim/SimCodec.h"
#include "sim/SimModule.h"

#include <QRandomGenerator>

namespace {

const QByteArray kAckReply(1, 0x06);

const char* const testProfile = R"({
  "resetMs": 60000,
  "modules": [
    {"subrack": 1, "slot": 1, "type": "TEST", "diag": ["00", "01"],
     "params": [
       {"type": "D", "name": "Level", "min": -300, "step": 5, "count": 121, "decimals": 2,
        "units": "dB", "value": 0},
       {"type": "S", "name": "Channel", "segments": [{"first": 2, "count": 3, "text": "E"},
                                                    {"first": 1, "count": 2, "text": "S"}],
        "value": 4},
       {"type": "E", "name": "Mode", "items": ["Auto", "Manual"], "value": 1},
       {"type": "B", "name": "Output"},
       {"type": "I", "name": "Input", "text": "none"},
       {"type": "T", "name": "Console"},
       {"type": "D", "name": "Temp", "flags": ["readonly"], "count": 50, "value": 20}]},
    {"subrack": 1, "slot": 2, "type": "TWIN", "channels": 2,
     "params": [{"type": "E", "name": "Channel", "items": ["A", "B"]},
                {"type": "D", "name": "Gain", "count": 10, "values": [7, 9]}]},
    {"subrack": 1, "slot": 3, "type": "CTRL", "kind": "T", "eeprom": ["AB", "0123456789", "ABCDEF0123"]},
    {"subrack": 2, "slot": 1, "type": "XXX",
     "params": [{"type": "E", "name": "Type", "items": ["none", "FM"]}],
     "variants": [{"type": "FM", "params": [{"type": "B", "name": "Output"}]}]}
  ]})";

QByteArray specFrame(const QByteArray& cmd) {
    const QByteArray s = cmd + 'R';
    return "!" + s + SimCodec::hex4(testCrc(s)) + "\n\r";
}

// The text of a special reply when its checksum holds, else "-".
QByteArray specText(const QByteArray& reply) {
    const qsizetype r = reply.indexOf('R');
    if (r < 0 || !reply.endsWith('\r') ||
        reply.mid(r + 1, 4) != SimCodec::hex4(testCrc(reply.left(r + 1))))
        return "-";
    return reply.left(r);
}

} // namespace

class SimRepliesTest : public QObject {
    Q_OBJECT

private slots:
    void crcVectors() {
        QCOMPARE(SimCodec::crc16("123456789"), quint16(0x4B37));
        QCOMPARE(SimCodec::crc16(QByteArray()), quint16(0xFFFF));
        // The "03" frame of the EEPROM dump.
        QCOMPARE(specFrame("03"), QByteArray("!03RC2E4\n\r"));
    }

    void infoBlockLines_data() {
        QTest::addColumn<int>("param");
        QTest::addColumn<QByteArray>("line");
        QTest::newRow("D") << 0 << QByteArray("@D@\nLevel\n-300\n5\n121\n2\ndB\r");
        QTest::newRow("S") << 1
                           << QByteArray("@S@\nChannel\n2\n3\nE\x17"
                                         "1\n2\nS\x17\r");
        QTest::newRow("E") << 2 << QByteArray("@E@\nMode\nAuto\nManual\n\r");
        QTest::newRow("B") << 3 << QByteArray("@B@\nOutput\r");
        QTest::newRow("I") << 4 << QByteArray("@I@\nInput\nnone\n\r");
        QTest::newRow("T") << 5 << QByteArray("@T@\nConsole\r");
        QTest::newRow("D read-only") << 6 << QByteArray("@DD\nTemp\n0\n1\n50\n0\n\r");
    }
    void infoBlockLines() {
        QFETCH(int, param);
        QFETCH(QByteArray, line);
        SimRig rig(profileFrom(testProfile));
        QCOMPARE(rig.select(0, 0), kAckReply);
        const QByteArray block = rig.command("0");
        QVERIFY(block.startsWith("\x02TEST\nP1\n2\n@D@"));
        QVERIFY(block.endsWith("\r\x03"));
        QList<QByteArray> lines = block.mid(block.indexOf('@')).chopped(1).split('\r');
        QCOMPARE(lines.at(param) + '\r', line);
    }

    void textReplies_data() {
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<QByteArray>("reply");
        QTest::newRow("values") << QByteArray("2") << QByteArray("0\n4\n1\n0\n0\n0\n20\n\x03");
        QTest::newRow("diagnostic") << QByteArray("1") << QByteArray("00\n01\n\x03");
        QTest::newRow("version") << QByteArray(";") << QByteArray("V1.00\n\x03");
        QTest::newRow("no marker") << QByteArray("$") << QByteArray("\x03");
        QTest::newRow("unknown") << QByteArray("x") << QByteArray();
        QTest::newRow("two letters") << QByteArray("00") << QByteArray();
    }
    void textReplies() {
        QFETCH(QByteArray, command);
        QFETCH(QByteArray, reply);
        SimRig rig(profileFrom(testProfile));
        rig.select(0, 0);
        QCOMPARE(rig.command(command), reply);
    }

    // Every row carries the selected channel as parameter 0.
    void multiChannelRows() {
        SimRig rig(profileFrom(testProfile));
        rig.select(0, 1);
        QCOMPARE(rig.command("2"), QByteArray("0\n7\n\r0\n9\n\x03"));
        QCOMPARE(rig.command("50\n1"), kAckReply);
        QCOMPARE(rig.command("2"), QByteArray("1\n7\n\r1\n9\n\x03"));
        QCOMPARE(rig.command("51\n4"), kAckReply);
        QCOMPARE(rig.headend.currentValue(0, 1, 1, 1), std::optional<int>(4));
        QCOMPARE(rig.headend.currentValue(0, 1, 1, 0), std::optional<int>(7));
    }

    void valueWrites_data() {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("acked");
        QTest::newRow("in range") << QByteArray("50\n120") << true;
        QTest::newRow("zero") << QByteArray("50\n0") << true;
        QTest::newRow("above max") << QByteArray("50\n121") << false;
        QTest::newRow("negative") << QByteArray("50\n-1") << false;
        QTest::newRow("segmented max") << QByteArray("51\n4") << true;
        QTest::newRow("segmented above") << QByteArray("51\n5") << false;
        QTest::newRow("unknown param") << QByteArray("57\n0") << false;
        QTest::newRow("read-only") << QByteArray("56\n1") << true;
        QTest::newRow("read-only above") << QByteArray("56\n50") << false;
        QTest::newRow("info") << QByteArray("54\n0") << true;
        QTest::newRow("info above") << QByteArray("54\n1") << false;
        QTest::newRow("not a number") << QByteArray("50\n1x") << false;
        QTest::newRow("no value") << QByteArray("50\n") << false;
        QTest::newRow("no LF") << QByteArray("50") << false;
        QTest::newRow("huge") << QByteArray("50\n99999999999") << false;
        QTest::newRow("type reset") << QByteArray("5Z\n0") << true;
        QTest::newRow("type unknown") << QByteArray("5Z\n1") << false;
    }
    void valueWrites() {
        QFETCH(QByteArray, body);
        QFETCH(bool, acked);
        SimRig rig(profileFrom(testProfile));
        rig.select(0, 0);
        QCOMPARE(rig.command(body), acked ? kAckReply : QByteArray());
        QCOMPARE(rig.headend.currentValue(0, 0, 6, 0), std::optional<int>(20)); // read-only
    }

    // Only committed values survive a reset; the module is silent while it restarts.
    void commitAndReset() {
        SimRig rig(profileFrom(testProfile));
        rig.select(0, 0);
        rig.command("50\n100");
        QCOMPARE(rig.command("6"), kAckReply);
        rig.command("50\n7");
        QCOMPARE(rig.command("7"), kAckReply);
        QCOMPARE(rig.select(0, 0), QByteArray()); // restarting
        QCOMPARE(rig.select(0, 1), kAckReply);    // its neighbours are not
        rig.headend.setResetMs(0);
        rig.select(0, 0);
        QCOMPARE(rig.command("7"), kAckReply);
        QCOMPARE(rig.command("2"), QByteArray()); // a reset forgets the selection
        QCOMPARE(rig.select(0, 0), kAckReply);
        QCOMPARE(rig.headend.currentValue(0, 0, 0, 0), std::optional<int>(100));
        QCOMPARE(rig.headend.committedValue(0, 0, 0, 0), std::optional<int>(100));
        QCOMPARE(rig.headend.state(0, 0).resets, 2);
    }

    void defaults() {
        SimRig rig(profileFrom(testProfile));
        rig.select(0, 0);
        rig.command("52\n0");
        QCOMPARE(rig.command(">"), kAckReply);
        QCOMPARE(rig.headend.committedValue(0, 0, 2, 0), std::optional<int>(1));
    }

    void typeSwitch() {
        SimRig rig(profileFrom(testProfile));
        rig.select(1, 0);
        QCOMPARE(rig.command("5Z\n1"), kAckReply);
        QVERIFY(rig.command("0").startsWith("\x02"
                                            "FM\n"));
        QCOMPARE(rig.command("5Z\n2"), QByteArray());
        QCOMPARE(rig.command("5Z\n0"), kAckReply);
        QVERIFY(rig.command("0").startsWith("\x02XXX\n"));
    }

    // "&", then "03", "05", "04" until the short answer that ends the dump.
    void eepromDump() {
        SimRig rig(profileFrom(testProfile));
        rig.select(0, 2);
        QCOMPARE(rig.ask(specFrame("03")), QByteArray()); // not in special mode yet
        QCOMPARE(rig.command("&"), kAckReply);
        QCOMPARE(specText(rig.ask(specFrame("03"))), QByteArray("000003"));
        QCOMPARE(specText(rig.ask(specFrame("05"))), QByteArray("AB"));
        QCOMPARE(specText(rig.ask(specFrame("04"))), QByteArray("0123456789"));
        QCOMPARE(specText(rig.ask(specFrame("04"))), QByteArray("ABCDEF0123"));
        QCOMPARE(specText(rig.ask(specFrame("04"))), QByteArray("00"));
        QByteArray broken = specFrame("05");
        broken[5] = broken[5] == '0' ? '1' : '0';
        QCOMPARE(rig.ask(broken), QByteArray()); // a wrong checksum is not for the module
    }

    // "06" then one "07" per line; busy lines are answered "01" first; the image is the
    // module's after its reset.
    void eepromWrite() {
        SimRig rig(profileFrom(testProfile));
        rig.headend.setResetMs(0);
        SimFaults busy;
        busy.eepromBusy = 2;
        rig.headend.setFaults(0, 2, busy);
        rig.select(0, 2);
        rig.command("&");
        QCOMPARE(specText(rig.ask(specFrame("06"))), QByteArray("00"));
        QCOMPARE(specText(rig.ask(specFrame("07NEWLINE-ONE"))), QByteArray("01"));
        QCOMPARE(specText(rig.ask(specFrame("07NEWLINE-ONE"))), QByteArray("01"));
        QCOMPARE(specText(rig.ask(specFrame("07NEWLINE-ONE"))), QByteArray("00"));
        rig.headend.setFaults(0, 2, SimFaults());
        QCOMPARE(specText(rig.ask(specFrame("07NEWLINE-TWO"))), QByteArray("00"));
        QCOMPARE(rig.headend.eepromImage(0, 2).size(), 3); // not before the reset
        rig.select(0, 2);
        rig.command("7");
        QCOMPARE(rig.headend.eepromImage(0, 2),
                 QStringList({QStringLiteral("NEWLINE-ONE"), QStringLiteral("NEWLINE-TWO")}));
    }

    void selectPattern() {
        SimRig rig(profileFrom(testProfile));
        SimFaults f;
        f.selectPattern = QStringLiteral("101");
        rig.headend.setFaults(0, 0, f);
        QByteArray answers;
        for (int i = 0; i < 6; ++i)
            answers += rig.select(0, 0).isEmpty() ? '0' : '1';
        QCOMPARE(answers, QByteArray("101101"));
    }

    void replyFaults_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QByteArray>("expected");
        const QByteArray version = "V1.00\n\x03";
        QByteArray garbled = version;
        garbled[3] = garbled[3] ^ 0x20;
        QTest::newRow("drop") << 0 << QByteArray();
        QTest::newRow("garble") << 1 << garbled;
        QTest::newRow("no terminator") << 2 << version.chopped(1);
        QTest::newRow("silent") << 3 << QByteArray();
    }
    void replyFaults() {
        QFETCH(int, kind);
        QFETCH(QByteArray, expected);
        SimRig rig(profileFrom(testProfile));
        SimFaults f;
        (kind == 0 ? f.dropReplies : kind == 1 ? f.garbleReplies : f.unterminated) = 1;
        f.silent = kind == 3;
        rig.headend.setFaults(0, 0, f);
        QCOMPARE(rig.select(0, 0), kAckReply);
        QCOMPARE(rig.command(";"), expected);
        if (kind != 3) // a counted fault is used up by one reply
            QCOMPARE(rig.command(";"), QByteArray("V1.00\n\x03"));
    }

    void wrongSpecialChecksum() {
        SimRig rig(profileFrom(testProfile));
        SimFaults f;
        f.badChecksums = 1;
        rig.headend.setFaults(0, 2, f);
        rig.select(0, 2);
        rig.command("&");
        QCOMPARE(specText(rig.ask(specFrame("05"))), QByteArray("-"));
        QCOMPARE(specText(rig.ask(specFrame("05"))), QByteArray("AB"));
    }

    void absentAndLineDrop() {
        SimRig rig(profileFrom(testProfile));
        SimFaults gone;
        gone.absent = true;
        rig.headend.setFaults(0, 0, gone);
        QCOMPARE(rig.select(0, 0), QByteArray());
        SimFaults cut;
        cut.closeLine = true;
        rig.headend.setFaults(0, 1, cut);
        QCOMPARE(rig.select(0, 1), QByteArray());
        QCOMPARE(rig.line.drops, 1);
        QCOMPARE(rig.select(0, 1), kAckReply);        // once
        QCOMPARE(rig.select(1, 5), QByteArray());     // empty slot
        QCOMPARE(rig.ask("!\xc0\x90"), QByteArray()); // no special module in this profile
    }

    // Line noise, frames cut short and overlong ones leave the modules as they were.
    void noiseIsIgnored() {
        SimRig rig(profileFrom(testProfile));
        QCOMPARE(rig.ask("xyz\x03\r\x06\x80\xc0"), QByteArray());
        QCOMPARE(rig.ask("!\xc0"), QByteArray());
        QCOMPARE(rig.ask("\x80"), kAckReply); // the select completes across two reads
        QCOMPARE(rig.ask("!;!;\r"), QByteArray("V1.00\n\x03")); // a new "!" restarts a frame
        QCOMPARE(rig.ask("!" + QByteArray(2000, '5') + "\r"), QByteArray());
        QCOMPARE(rig.command(";"), QByteArray("V1.00\n\x03"));
        QRandomGenerator rnd(7);
        for (int i = 0; i < 200; ++i) {
            QByteArray junk(64, '\0');
            for (char& c : junk)
                c = static_cast<char>(rnd.bounded(256));
            rig.ask(junk);
        }
        rig.ask("\x03\r"); // leaves a console that the noise may have opened
        rig.headend.setResetMs(0);
        rig.ask("\r");
        QCOMPARE(rig.select(0, 1), kAckReply);
        QCOMPARE(rig.command("?"), QByteArray("\x03"));
        QVERIFY(rig.headend.received().endsWith("!?\r"));
    }
};

ORVEX_TEST(SimRepliesTest)
#include "replies.moc"
