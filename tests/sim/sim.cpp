// The simulator on its own (the program's tests meet it as the demo head-end): profiles that
// are refused with a reason, the profile of sim/README.md, and the line faults it plays.
#include "sim/SimCodec.h"
#include "tests/support/Expect.h"
#include "tests/support/Files.h"
#include "tests/support/SimRig.h"
#include "tests/support/TestMain.h"

#include <QtTest>

namespace {
SimProfile profileOf(const QByteArray& json) {
    SimProfile profile;
    QString error;
    if (!SimProfile::fromJson(json, QString(), &profile, &error))
        qFatal("test profile rejected: %s", qPrintable(error));
    return profile;
}

struct Rig : SimRig {
    explicit Rig(const QByteArray& json) : SimRig(profileOf(json)) {}
    QByteArray select(int subrack, int slot) {
        return ask(QByteArray("!") + char(0xC0 + subrack) + char(0x80 + slot));
    }
    // A special frame with its checksum; the reply's text when its checksum holds, else "-".
    QByteArray special(const QByteArray& cmd) {
        const QByteArray reply =
            ask("!" + cmd + "R" + SimCodec::hex4(SimCodec::crc16(cmd + "R")) + "\n\r");
        const qsizetype r = reply.indexOf('R');
        const bool holds =
            r >= 0 && reply.endsWith('\r') &&
            reply.mid(r + 1, 4) == SimCodec::hex4(SimCodec::crc16(reply.left(r + 1)));
        return holds ? reply.left(r) : "-";
    }
};

const char* const kProfile = R"({"modules": [
    {"subrack": 1, "slot": 1, "type": "TEST", "diag": ["00", "01"],
     "params": [{"type": "D", "name": "Level", "count": 121, "value": 0}]},
    {"subrack": 1, "slot": 2, "type": "TWIN"},
    {"subrack": 1, "slot": 3, "type": "CTRL", "kind": "T", "eeprom": ["AB", "0123456789"]}]})";
} // namespace

class SimTest : public QObject {
    Q_OBJECT
private slots:
    void rejected_data() {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("reason");
        // Each row but the first: one module's fields, after those every module has.
        const auto row = [](const char* name, const QByteArray& fields, const char* reason) {
            QTest::newRow(name) << R"({"modules": [{"subrack": 1, "type": "M", )" + fields + "}]}"
                                << QString(reason);
        };
        QTest::newRow("not json") << QByteArray("{") << "not a JSON object";
        row("slot range", R"("slot": 17)", "\"slot\" must be a whole number from 1 to 16");
        row("no selector", R"("slot": 1, "channels": 3, "params": [{"type": "B"}])",
            "parameter 0 of a module with 3 channels must select them");
        row("pages", R"("slot": 1, "pages": {"folder": "/nonexistent"})", "has no index.html");
        const QByteArray items = QByteArray("\"an item\",").repeated(300).chopped(1);
        row("too big", R"("slot": 1, "params": [{"type": "E", "items": [)" + items + "]}]",
            "a module sends at most 2048");
    }
    void rejected() {
        QFETCH(QByteArray, json);
        QFETCH(QString, reason);
        SimProfile p;
        QString error;
        QVERIFY(!SimProfile::fromJson(json, QString(), &p, &error));
        EXPECT_HAS(error, reason);
    }

    // Replies dropped (a counted fault is used up by one reply) or never given ("silent"
    // answers the select frame only), select patterns, modules pulled out, the line pulled,
    // busy EEPROM lines, checksums. Garbled and unterminated replies: robust.RepliesTest.
    void lineFaults() {
        Rig rig(kProfile);
        for (const bool silent : {false, true}) {
            rig.headend.setFaults(
                0, 0, faults([&](SimFaults& f) { f.silent = silent, f.dropReplies = !silent; }));
            QCOMPARE(rig.select(0, 0), QByteArray("\x06"));
            EXPECT_BYTES(rig.ask("!;\r"), "");
            EXPECT_BYTES(rig.ask("!;\r"), silent ? "" : "V1.00\n\x03");
        }
        rig.headend.setFaults(
            0, 0, faults([](SimFaults& f) { f.selectPattern = QStringLiteral("101"); }));
        QByteArray answers;
        for (int i = 0; i < 6; ++i)
            answers += rig.select(0, 0).isEmpty() ? '0' : '1';
        QCOMPARE(answers, QByteArray("101101"));
        // Noise and frames cut short leave the modules as they were; "!" starts a new frame.
        rig.headend.clearFaults();
        QCOMPARE(rig.ask("xyz\x03\r\x06\x80!\xc0"), QByteArray());
        QCOMPARE(rig.ask("\x80"), QByteArray("\x06"));
        QCOMPARE(rig.ask("!;!;\r"), QByteArray("V1.00\n\x03"));
        rig.headend.setFaults(0, 0, faults([](SimFaults& f) { f.absent = true; }));
        QCOMPARE(rig.select(0, 0), QByteArray());
        rig.headend.setFaults(0, 1, faults([](SimFaults& f) { f.closeLine = true; }));
        QCOMPARE(rig.select(0, 1), QByteArray());
        QCOMPARE(rig.drops, 1);
        QCOMPARE(rig.select(0, 1), QByteArray("\x06")); // once
        rig.headend.setFaults(0, 2,
                              faults([](SimFaults& f) { f.eepromBusy = f.badChecksums = 1; }));
        rig.headend.setResetMs(0);
        QCOMPARE(rig.select(0, 2), QByteArray("\x06"));
        QCOMPARE(rig.ask("!03RC2E4\n\r"), QByteArray()); // not in special mode yet
        QCOMPARE(rig.ask("!&\r"), QByteArray("\x06"));
        QCOMPARE(rig.special("05"), QByteArray("-"));
        QCOMPARE(rig.special("05"), QByteArray("AB"));
        QCOMPARE(rig.special("06"), QByteArray("00"));
        QCOMPARE(rig.special("07NEWLINE-ONE"), QByteArray("01"));
        QCOMPARE(rig.special("07NEWLINE-ONE"), QByteArray("00"));
        QCOMPARE(rig.headend.eepromImage(0, 2).size(), 2); // not before the reset
        QCOMPARE(rig.ask("!7\r"), QByteArray("\x06"));
        QCOMPARE(rig.headend.eepromImage(0, 2), QStringList{"NEWLINE-ONE"});
    }
};

ORVEX_TEST(SimTest)
#include "sim.moc"
