// Profiles: the demo head-end loads and every module of it answers; broken profiles are
// refused with a reason.
#include "SimTestLine.h"
#include "tests/support/TestMain.h"

#include "sim/SimModule.h"

#include <QDirIterator>

class SimProfileTest : public QObject {
    Q_OBJECT

private slots:
    void demoModulesAnswer() {
        const SimProfile demo = demoProfile();
        QVERIFY(demo.modules.size() >= 10);
        QVERIFY(demo.hasSpecial);
        SimRig rig(demo);
        QSet<int> racks;
        for (const SimSlotDef& m : demo.modules) {
            const QString where = m.module.type;
            QCOMPARE(rig.select(m.subrack, m.slot), QByteArray("\x06"));
            const QByteArray info = rig.command("0");
            QVERIFY2(info.startsWith('\x02') && info.endsWith('\x03') && info.size() <= 2048,
                     qPrintable(where));
            QCOMPARE(info.count('\r'), m.module.params.size());
            const QByteArray values = rig.command("2");
            QCOMPARE(values.count('\r'), m.module.channels - 1);
            QCOMPARE(values.count('\n'), m.module.channels * m.module.params.size());
            QCOMPARE(rig.command("1").count('\n'), m.module.diag.size());
            QVERIFY(rig.command(";").endsWith("\n\x03"));
            racks << m.subrack;
        }
        QCOMPARE(racks.size(), 2);
        QCOMPARE(rig.ask("!\xc0\x90"), QByteArray("\x06"));
        QVERIFY(rig.command("0").startsWith("\x02"
                                            "BC-2\n"));
    }

    // What the demo is there to show is in it.
    void demoCoversTheFeatures() {
        const SimProfile demo = demoProfile();
        QSet<char> types;
        quint8 flags = 0;
        bool multi = false, fault = false, terminalImage = false, html = false, kx = false,
             xxx = false;
        for (const SimSlotDef& s : demo.modules) {
            const SimModuleDef& m = s.module;
            for (const SimParamDef& p : m.params)
                types << p.type, flags |= p.flagChar;
            multi |= m.channels > 1;
            fault |= m.diag.join(QString()).count(QLatin1Char('0')) != m.diag.size() * 2;
            terminalImage |= m.kind == 'T' && !m.eeprom.isEmpty();
            html |= m.marker == QLatin1String("HTML") && m.pages.enabled();
            kx |= m.type == QLatin1String("kx350B");
            xxx |= m.type == QLatin1String("XXX") && !m.variants.isEmpty();
        }
        QCOMPARE(types.size(), 6);
        QCOMPARE(flags, quint8(0x57));
        QVERIFY(multi && fault && terminalImage && html && kx && xxx);
        QStringList kinds;
        for (QDirIterator it(QStringLiteral(":/sim/pages/otx")); it.hasNext();)
            kinds << it.next().section(QLatin1Char('.'), -1);
        for (const char* k : {"html", "css", "js", "gif", "jpg"})
            QVERIFY2(kinds.contains(QLatin1String(k)), k);
    }

    void rejected_data() {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("reason");
        const QByteArray head = R"({"modules": [{"subrack": 1, "slot": 1, "type": "M", )";
        QTest::newRow("not json") << QByteArray("{") << "not a JSON object";
        QTest::newRow("unknown key")
            << QByteArray(R"({"modulez": []})") << "unknown key \"modulez\"";
        QTest::newRow("slot range")
            << QByteArray(R"({"modules": [{"subrack": 1, "slot": 17, "type": "M"}]})")
            << "\"slot\" must be a whole number from 1 to 16";
        QTest::newRow("no type") << QByteArray(R"({"modules": [{"subrack": 1, "slot": 1}]})")
                                 << "\"type\" is missing";
        QTest::newRow("twice") << QByteArray(R"({"modules": [{"subrack": 1, "slot": 1, "type": "M"},
                                  {"subrack": 1, "slot": 1, "type": "N"}]})")
                               << "the slot is given twice";
        QTest::newRow("param type") << head + R"("params": [{"type": "X"}]}]})"
                                    << "parameter 0: \"type\" must be one of D, S, E, B, I, T";
        QTest::newRow("value range") << head + R"("params": [{"type": "B", "value": 2}]}]})"
                                     << "\"value\" must be a whole number from 0 to 1";
        QTest::newRow("values per channel")
            << head + R"("channels": 2, "params": [{"type": "B", "values": [0]}]}]})"
            << "one value per channel (2)";
        QTest::newRow("no selector") << head + R"("channels": 3, "params": [{"type": "B"}]}]})"
                                     << "parameter 0 of a module with 3 channels must select them";
        QTest::newRow("control char") << head + R"("params": [{"type": "B", "name": "a\nb"}]}]})"
                                      << "\"name\" holds a character a module cannot send";
        QTest::newRow("eeprom R") << head + R"("kind": "T", "eeprom": ["0", "0123456789R"]}]})"
                                  << "EEPROM line 2 must be longer than 8 characters";
        QTest::newRow("diag") << head + R"("diag": ["0G"]}]})"
                              << "diagnostic byte \"0G\"";
        QTest::newRow("flag") << head + R"("params": [{"type": "B", "flags": ["shiny"]}]}]})"
                              << "unknown flag \"shiny\"";
        QTest::newRow("pages") << head + R"("pages": {"folder": "/nonexistent"}}]})"
                               << "has no index.html";
        QByteArray items;
        for (int i = 0; i < 300; ++i)
            items += "\"item " + QByteArray::number(i) + "\",";
        items.chop(1);
        QTest::newRow("too big") << head + R"("params": [{"type": "E", "items": [)" + items +
                                        "]}]}]}"
                                 << "a module sends at most 2048";
    }
    void rejected() {
        QFETCH(QByteArray, json);
        QFETCH(QString, reason);
        SimProfile p;
        QString error;
        QVERIFY(!SimProfile::fromJson(json, QString(), &p, &error));
        QVERIFY2(error.contains(reason), qPrintable(error));
    }

    // The example of sim/README.md is a working profile.
    void readmeExample() {
        QFile f(QFINDTESTDATA("../../sim/README.md"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray text = f.readAll();
        const qsizetype start = text.indexOf("```json\n") + 8;
        const QByteArray json = text.mid(start, text.indexOf("```", start) - start);
        SimRig rig(profileFrom(json));
        QCOMPARE(rig.select(0, 2), QByteArray("\x06"));
        QCOMPARE(rig.command("2"), QByteArray("0\n3416\n0\n0\n0\n\r0\n3480\n0\n0\n0\n\x03"));
        QCOMPARE(rig.select(1, 0), QByteArray("\x06"));
    }

    void rawFlagCharacter() {
        // A test profile may send a flag byte without 0x40, to exercise the program's check.
        const SimProfile p = profileFrom(R"({"modules": [{"subrack": 2, "slot": 16, "type": "M",
            "params": [{"type": "D", "name": "L", "flagChar": "\u0004"}]}]})");
        QCOMPARE(simInfoBlock(p.modules.at(0).module).mid(8, 4), QByteArray("@D\x04\n"));
    }
};

ORVEX_TEST(SimProfileTest)
#include "profile.moc"
