// orvex-cli against the simulated demo head-end: what each command prints, its exit status,
// and what reached the modules.
#include "tests/cli/CliRun.h"
#include "tests/support/TestMain.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

class CommandsTest : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<CliRun> f;

    static QJsonObject json(const QByteArray& out) {
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(out, &error);
        if (error.error != QJsonParseError::NoError)
            qWarning("not JSON: %s", qPrintable(error.errorString()));
        return doc.object();
    }

private Q_SLOTS:
    void init() { f = std::make_unique<CliRun>(); }
    void cleanup() { f.reset(); }

    void scanText() {
        const auto r = f->run({QStringLiteral("scan")});
        // Slot 1/3 reports a diagnostic fault: done, with module errors.
        QVERIFY2(r.status == 1, r.err.constData());
        const QStringList lines = r.outLines();
        QCOMPARE(lines.size(), 33);
        QCOMPARE(lines.first().simplified(), QStringLiteral("1/1 QM4-C V3.12 OK 00 00"));
        QCOMPARE(lines.at(2).simplified(), QStringLiteral("1/3 RX-S2 V2.07 FAULT 05 00"));
        QCOMPARE(lines.at(4).simplified(), QStringLiteral("1/5 -"));
        QCOMPARE(lines.at(16).simplified(), QStringLiteral("2/1 OTX-1310 V3.04 OK 00"));
        QCOMPARE(lines.last(), QStringLiteral("12 Modules found"));
        // Progress stays out of a log; there is nothing else to say.
        QCOMPARE(r.err, QByteArray());
    }

    void scanJson() {
        const auto r = f->run({QStringLiteral("--json"), QStringLiteral("scan")});
        QVERIFY2(r.status == 1, r.err.constData());
        const QJsonObject o = json(r.out);
        QCOMPARE(o[QStringLiteral("status")].toString(), QStringLiteral("12 Modules found"));
        QCOMPARE(o[QStringLiteral("found")].toInt(), 12);
        const QJsonArray all = o[QStringLiteral("slots")].toArray();
        QCOMPARE(all.size(), 32);
        const QJsonObject faulty = all.at(2).toObject();
        QCOMPARE(faulty[QStringLiteral("module")].toString(), QStringLiteral("1/3"));
        QCOMPARE(faulty[QStringLiteral("diagnostic")].toString(), QStringLiteral("FAULT"));
        QCOMPARE(faulty[QStringLiteral("diagBytes")].toArray().at(0).toString(),
                 QStringLiteral("05"));
        QCOMPARE(all.at(4).toObject()[QStringLiteral("present")].toBool(), false);
        const QJsonObject terminal = all.at(8).toObject();
        QCOMPARE(terminal[QStringLiteral("kind")].toString(), QStringLiteral("T"));
        QCOMPARE(all.at(16).toObject()[QStringLiteral("htmlPages")].toBool(), true);
    }

    void showText() {
        const auto r = f->run({QStringLiteral("show"), QStringLiteral("1/1")});
        QCOMPARE(r.status, 0);
        const QStringList lines = r.outLines();
        QVERIFY(lines.contains(QStringLiteral("Type        QM4-C")));
        QVERIFY(lines.contains(QStringLiteral("Channels    4 (current 0)")));
        // Index, kind, flags, name, limits, units, raw and shown value.
        QStringList row;
        for (const QString& l : lines)
            if (l.startsWith(QStringLiteral("5 ")))
                row << l.simplified();
        QCOMPARE(row, QStringList{QStringLiteral(
                          "5 number 0x40 Output level 0..40 (80.0..100.0) dBuV 30 95.0")});
        QVERIFY(lines.filter(QStringLiteral("Level calibration")).first().contains("0x42"));
    }

    void showJson() {
        const auto r =
            f->run({QStringLiteral("show"), QStringLiteral("1/1"), QStringLiteral("--json")});
        QCOMPARE(r.status, 0);
        const QJsonObject o = json(r.out);
        QCOMPARE(o[QStringLiteral("type")].toString(), QStringLiteral("QM4-C"));
        QCOMPARE(o[QStringLiteral("version")].toString(), QStringLiteral("V3.12"));
        QCOMPARE(o[QStringLiteral("channels")].toInt(), 4);
        QCOMPARE(o[QStringLiteral("errorCount")].toInt(), 0);
        const QJsonArray params = o[QStringLiteral("params")].toArray();
        QCOMPARE(params.size(), 9);
        const QJsonObject level = params.at(5).toObject();
        QCOMPARE(level[QStringLiteral("raw")].toInt(), 30);
        QCOMPARE(level[QStringLiteral("shown")].toString(), QStringLiteral("95.0"));
        QCOMPARE(level[QStringLiteral("units")].toString(), QStringLiteral("dBuV"));
        QCOMPARE(level[QStringLiteral("max")].toInt(), 40);
        QCOMPARE(level[QStringLiteral("values")].toArray(), (QJsonArray{30, 30, 30, 26}));
        const QJsonObject constellation = params.at(2).toObject();
        QCOMPARE(constellation[QStringLiteral("shown")].toString(), QStringLiteral("256-QAM"));
        QCOMPARE(constellation[QStringLiteral("entries")].toArray().size(), 5);
        QCOMPARE(params.at(8).toObject()[QStringLiteral("hidden")].toBool(), true);
    }

    void set_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("said"); // stdout line, or the one stderr line on failure
        QTest::addColumn<int>("param");
        QTest::addColumn<int>("committed"); // parameter's value in the module's EEPROM after
        QTest::newRow("raw") << QStringList{"1/1", "5", "26"} << 0
                             << "Module 1/1 parameter 5 (Output level): 26 written; it holds 26 "
                                "(93.0 dBuV)."
                             << 5 << 26;
        QTest::newRow("shown") << QStringList{"1/1", "5", "--shown", "97.5"} << 0
                               << "Module 1/1 parameter 5 (Output level): 35 written; it holds "
                                  "35 (97.5 dBuV)."
                               << 5 << 35;
        QTest::newRow("shown is truncated")
            << QStringList{"1/1", "1", "--shown", "475.1"} << 0
            << "Module 1/1 parameter 1 (Output frequency): 3424 written; it holds 3424 (475.000 "
               "MHz)."
            << 1 << 3424;
        QTest::newRow("list entry") << QStringList{"1/1", "4", "--shown", "Off"} << 0
                                    << "Module 1/1 parameter 4 (RF output): 1 written; it holds "
                                       "1 (Off)."
                                    << 4 << 1;
        QTest::newRow("shown out of range")
            << QStringList{"1/1", "5", "--shown", "100.1"} << 1
            << "Output level must be between 80 and 100 dBuV" << 5 << 30;
        QTest::newRow("shown not a number")
            << QStringList{"1/1", "5", "--shown", "loud"} << 2
            << "'loud' is not a valid floating point value" << 5 << 30;
        QTest::newRow("raw out of range")
            << QStringList{"1/1", "5", "41"} << 1
            << "Module 1/1 parameter 5 (Output level) takes raw values 0 to 40, not 41." << 5 << 30;
        QTest::newRow("no such entry")
            << QStringList{"1/1", "4", "--shown", "off"} << 1
            << "Module 1/1 parameter 4 (RF output) has no entry 'off'; its entries: On, Off" << 4
            << 0;
        QTest::newRow("no such parameter")
            << QStringList{"1/1", "9", "1"} << 2
            << "Module 1/1 (QM4-C) has no parameter '9'; it has 0 to 8." << 5 << 30;
        QTest::newRow("information holds no value")
            << QStringList{"1/1", "7", "0"} << 1 << "Module 1/1 parameter 7 (Input) holds no value."
            << 5 << 30;
    }
    void set() {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QString, said);
        QFETCH(int, param);
        QFETCH(int, committed);
        const auto r = f->run(QStringList{QStringLiteral("set")} + args);
        QCOMPARE(r.status, status);
        if (status == 0)
            QCOMPARE(r.outLines(), QStringList{said});
        else
            QCOMPARE(r.errLines(), QStringList{said});
        QCOMPARE(f->committed(0, 0, param), std::optional<int>(committed));
        // A refused value never reaches the line.
        if (status != 0)
            QVERIFY(!f->sim->headend().received().contains("!5"));
    }

    void setModuleType() {
        // Parameter 0 of a module of type "XXX" goes on the line as the module type.
        const auto r = f->run({QStringLiteral("set"), QStringLiteral("2/2"), QStringLiteral("0"),
                               QStringLiteral("1")});
        QCOMPARE(r.status, 0);
        QVERIFY(f->sim->headend().received().contains(QByteArray("!5Z\n1\r")));
        QVERIFY(r.out.startsWith("Module 2/2 is now "));
        QVERIFY(!r.out.contains(" XXX"));
    }

    void diag() {
        const auto r = f->run({QStringLiteral("diag"), QStringLiteral("1/3")});
        QCOMPARE(r.status, 1); // the module reports a fault
        const QStringList lines = QString::fromUtf8(r.out).split('\n');
        QCOMPARE(lines.mid(0, 6),
                 (QStringList{"Module #3  RX-S2  Vers. V2.07", "SN OX-RS2-2304-01187",
                              "=====================", "Diagnostic Bytes:", "   #0  0000 0101",
                              "   #1  0000 0000"}));
        QVERIFY(lines.contains(QStringLiteral("No input signal")));
        QVERIFY(lines.contains(QStringLiteral("Last lock 03:41:07")));

        const auto j =
            f->run({QStringLiteral("--json"), QStringLiteral("diag"), QStringLiteral("1/1")});
        QCOMPARE(j.status, 0);
        const QJsonObject o = json(j.out);
        QCOMPARE(o[QStringLiteral("serial")].toString(), QStringLiteral("OX-QM4-2311-00417"));
        QCOMPARE(o[QStringLiteral("diagnostic")].toString(), QStringLiteral("OK"));
        QVERIFY(o[QStringLiteral("lines")].toArray().contains(QStringLiteral("Diagnostic OK.")));
    }

    void resetAndDefaults() {
        auto r = f->run({QStringLiteral("reset"), QStringLiteral("1/2")});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.outLines(), QStringList{QStringLiteral("Module 1/2 reset.")});
        QCOMPARE(f->sim->headend().state(0, 1).resets, 1);

        // The kx350 family takes its defaults as ten writes (variant B), then is re-read.
        r = f->run({QStringLiteral("defaults"), QStringLiteral("1/4")});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.outLines(),
                 QStringList{QStringLiteral("Module 1/4 (kx350B): defaults loaded.")});
        const QByteArray sent = f->sim->headend().received();
        QCOMPARE(sent.count("!5"), 10);
        QVERIFY(sent.contains(QByteArray("!51\n47\r")) && sent.contains(QByteArray("!51\n48\r")));
        QVERIFY(!sent.contains("!>"));

        r = f->run({QStringLiteral("defaults"), QStringLiteral("1/6")});
        QCOMPARE(r.status, 0);
        QCOMPARE(f->sim->headend().received().count("!>\r"), 3);
    }

    void moduleMissing_data() {
        QTest::addColumn<QString>("command");
        QTest::newRow("show") << "show";
        QTest::newRow("diag") << "diag";
        QTest::newRow("reset") << "reset";
        QTest::newRow("terminal") << "terminal";
    }
    void moduleMissing() {
        QFETCH(QString, command);
        const auto r = f->run({command, QStringLiteral("2/4")});
        QCOMPARE(r.status, 1);
        QCOMPARE(r.errLines(), QStringList{QStringLiteral("No module answers at 2/4.")});
    }

    void missingPort() {
        const auto r = f->run(
            {QStringLiteral("--port"), QStringLiteral("/dev/no-such-tty"), QStringLiteral("scan")});
        QCOMPARE(r.status, 3);
        QCOMPARE(r.errLines(), QStringList{QStringLiteral(
                                   "The port /dev/no-such-tty cannot be opened: No such file or "
                                   "directory")});
        QCOMPARE(r.out, QByteArray());
    }

    void portOfTheSettingsFile() {
        QFile ini(f->path(QStringLiteral("OXLCom.ini")));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[ComPort]\nPort=" + f->sim->slavePath().toUtf8() + "\n");
        ini.close();
        const auto r = f->run({QStringLiteral("reset"), QStringLiteral("1/1")}, {}, true, false);
        QCOMPARE(r.status, 0);
        QCOMPARE(f->sim->headend().state(0, 0).resets, 1);
    }

    void usage_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("problem");
        QTest::newRow("no command") << QStringList{} << "no command given";
        QTest::newRow("unknown command") << QStringList{"scna"} << "unknown command 'scna'";
        QTest::newRow("subrack 3") << QStringList{"show", "3/1"}
                                   << "'3/1' names no module: write subrack/slot, 1/1 to 2/16";
        QTest::newRow("slot 17") << QStringList{"diag", "1/17"}
                                 << "'1/17' names no module: write subrack/slot, 1/1 to 2/16";
        QTest::newRow("set without value")
            << QStringList{"set", "1/1", "5"} << "set takes G/S INDEX VALUE | G/S INDEX --shown X";
        QTest::newRow("json with reset") << QStringList{"--json", "reset", "1/1"}
                                         << "--json goes with scan, show, diag and diff";
        QTest::newRow("unknown option") << QStringList{"scan", "--fast"} << "unknown option --fast";
        QTest::newRow("scan time-out") << QStringList{"--scan-timeout", "0", "scan"}
                                       << "--scan-timeout takes milliseconds, 1 to 60000, not '0'";
    }
    void usage() {
        QFETCH(QStringList, args);
        QFETCH(QString, problem);
        const auto r = f->run(args);
        QCOMPARE(r.status, 2);
        QCOMPARE(r.errLines(),
                 QStringList{QStringLiteral("orvex-cli: %1 (see orvex-cli --help)").arg(problem)});
        QVERIFY(f->sim->headend().received().isEmpty());
    }

    void portsAndHelp() {
        auto r = f->run({QStringLiteral("ports")});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.outLines().last(), QStringLiteral("DEMO"));
        r = f->run({QStringLiteral("--help")});
        QCOMPARE(r.status, 0);
        QVERIFY(r.out.startsWith("Usage: orvex-cli [--port NAME]"));
    }
};

ORVEX_TEST(CommandsTest)
#include "commands.moc"
