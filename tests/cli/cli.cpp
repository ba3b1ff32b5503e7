// orvex-cli, the built tool, against the simulated demo head-end: what each command says, its
// exit status and what reached the line and the modules; its key decoder and trace format.
#include "tests/support/CliRun.h"
#include "tests/support/Expect.h"
#include "tests/support/Files.h"
#include "tests/support/TestMain.h"

#include <QTcpServer>
#include <QtTest>

class CliTest : public QObject {
    Q_OBJECT
    std::unique_ptr<CliRun> f;

private Q_SLOTS:
    void init() { f = std::make_unique<CliRun>(); }
    void cleanup() { f.reset(); }

    void commands_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QStringList>("said"); // lines of stdout and stderr, spaces simplified
        QTest::addColumn<QByteArray>("sent");  // on the line: "+bytes" must be, "-bytes" not
        QTest::addColumn<int>("level");        // then in the EEPROM of 1/1, parameter 5
        QTest::addColumn<int>("lost");         // replies of 1/1 that do not come
        const auto row = [](const char* name, const QStringList& args, int status,
                            const QStringList& said, const QByteArray& sent = {}, int level = 30,
                            int lost = 0) {
            QTest::newRow(name) << args << status << said << sent << level << lost;
        };
        // Slot 1/3 reports a diagnostic fault: done, with module errors.
        row("scan", {"scan"}, 1,
            {"1/1 QM4-C V3.12 OK 00 00", "1/3 RX-S2 V2.07 FAULT 05 00", "1/5 -",
             "2/1 OTX-1310 V3.04 OK 00", "12 Modules found"});
        row("show", {"show", "1/1"}, 0,
            {"Type QM4-C", "Channels 4 (current 0)",
             "5 number 0x40 Output level 0..40 (80.0..100.0) dBuV 30 95.0"});
        // The report's lines: link.LinkTest.
        row("diag", {"diag", "1/3"}, 1, {"Module #3 RX-S2 Vers. V2.07", "Last lock 03:41:07"});
        row("set raw", {"set", "1/1", "5", "26"}, 0,
            {"Module 1/1 parameter 5 (Output level): 26 written; it holds 26 (93.0 dBuV)."},
            "+!55\n26\r", 26);
        row("set shown", {"set", "1/1", "5", "--shown", "97.5"}, 0,
            {"Module 1/1 parameter 5 (Output level): 35 written; it holds 35 (97.5 dBuV)."}, {},
            35);
        row("shown out of range", {"set", "1/1", "5", "--shown", "100.1"}, 1,
            {"Output level must be between 80 and 100 dBuV"}, "-!5");
        row("set after a lost reply", {"set", "1/1", "5", "26"}, 1,
            {"The information of module 1/1 could not be read."}, "-!5", 30, 1);
        row("raw out of range", {"set", "1/1", "5", "41"}, 1,
            {"Module 1/1 parameter 5 (Output level) takes raw values 0 to 40, not 41."}, "-!5");
        row("reset", {"reset", "1/2"}, 0, {"Module 1/2 reset."}, "+!7\r");
        // The kx350 family takes its defaults as writes (variant B), the others "!>".
        row("defaults kx350", {"defaults", "1/4"}, 0, {"Module 1/4 (kx350B): defaults loaded."},
            "+!51\n47\r");
        row("no console", {"terminal", "1/1"}, 1, {"Module 1/1 (QM4-C) has no console."}, "-9\r");
        row("missing port", {"--port", "/dev/no-such-tty", "scan"}, 3,
            {"The port /dev/no-such-tty cannot be opened: No such file or directory"});
        row("ports", {"ports"}, 0, {"DEMO demo head-end (simulator)"});
        row("ports json", {"ports", "--json"}, 0, {"\"name\": \"DEMO\","});
        row("load a missing file", {"load-config", "missing.mmh"}, 3, {"File I/O error."});
        const QString usage = "orvex-cli: %1 (see orvex-cli --help)";
        row("unknown command", {"scna"}, 2, {usage.arg("unknown command 'scna'")}, "-!");
        // PORT: a TCP port that is taken, here by a peer that never answers.
        row("nothing answers", {"--port", "tcp://127.0.0.1:PORT", "scan"}, 1,
            {"No Active Modules found",
             "Nothing answers on tcp://127.0.0.1:PORT: not one frame had a reply."});
        row("pages port in use", {"pages", "2/1", "--listen", "PORT"}, 3,
            {"The TCP port PORT on 127.0.0.1 is in use."});
    }
    void commands() {
        QFETCH(QStringList, args);
        QFETCH(QStringList, said);
        QFETCH(QByteArray, sent);
        QFETCH(int, status);
        QTcpServer taken;
        QVERIFY(taken.listen(QHostAddress::LocalHost, 0));
        args.replaceInStrings("PORT", QString::number(taken.serverPort()));
        QFETCH(int, lost);
        f->sim->headend().setFaults(0, 0, faults([&](SimFaults& s) { s.dropReplies = lost; }));
        said.replaceInStrings("PORT", QString::number(taken.serverPort()));
        const auto r = f->run(args);
        QVERIFY2(r.status == status, r.err.constData());
        // What the output says, each line trimmed and runs of spaces taken as one.
        const QString output = QString::fromUtf8("\n" + r.out + "\n" + r.err + "\n")
                                   .replace(QRegularExpression(" *\n *"), "\n")
                                   .replace(QRegularExpression(" +"), " ");
        for (const QString& line : said)
            EXPECT_HAS(output, "\n" + line + "\n");
        const QByteArray line = f->sim->headend().received();
        if (sent.startsWith('+'))
            EXPECT_HAS(line, sent.mid(1));
        if (sent.startsWith('-'))
            EXPECT_LACKS(line, sent.mid(1));
        QTEST(*f->committed(0, 0, 5), "level");
    }

    // Every byte on the line in the trace, one frame a line, the text column as well.
    void trace() {
        QCOMPARE(f->run({"--trace", "line.trace", "show", "1/2"}).status, 0);
        static const QRegularExpression format(
            "^\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d ([<>]) ((?:[0-9A-F]{2} )*[0-9A-F]{2}) \\|(.*)\\|$");
        QByteArray written, read;
        const QList<QByteArray> lines = fileBytes(f->path("line.trace")).trimmed().split('\n');
        // A console left open would be ended first: harmless to a module not in its console.
        EXPECT_ENDS(lines.first(),
                    " # ending a console that may still be open: the line was opened");
        for (const QByteArray& l : lines.mid(1)) {
            const auto m = format.match(QString::fromLatin1(l));
            QVERIFY2(m.hasMatch(), l.constData());
            QByteArray bytes = QByteArray::fromHex(m.captured(2).toLatin1()), text = bytes;
            for (char& c : text)
                c = (c >= 0x20 && c < 0x7F) ? c : '.';
            QCOMPARE(m.captured(3).toLatin1(), text);
            (m.captured(1) == ">" ? written : read) += bytes;
            // One command frame a line; a reply ends its line at its ETX.
            QVERIFY(m.captured(1) == "<" ? !bytes.contains('\x03') || bytes.endsWith('\x03')
                                         : bytes.startsWith('!') || bytes == Link::ConsoleEnd);
        }
        EXPECT_BYTES(written, f->sim->headend().received());
        EXPECT_BYTES(read, f->sim->headend().sent());
    }

    // Keys from a pipe: each goes when the module asks with SYN, LF as the Enter key; the
    // console ends when the keys are used up, on the module's EOT, or on Ctrl-].
    void console() {
        const QByteArray keys = "status\nhelx\x7fp\nshow\nimage\ncolors\nmeter\nclear\nfoo\n";
        auto r = f->run({"terminal", "1/9"}, keys);
        QCOMPARE(r.status, 0);
        for (const char* said : {"SNMP agent running", "colour test", "EEPROM image, ",
                                 "Input levels (dBuV)", "Unknown command: foo"})
            EXPECT_HAS(r.out, said);
        EXPECT_LACKS(r.out, "\x16");
        const QByteArray sent = f->sim->headend().received();
        EXPECT_BYTES(sent.mid(sent.indexOf("9\r")),
                     "9\r" + QByteArray(keys).replace('\n', '\r').replace('\x7f', '\b') + "\x03\r");
        for (const QByteArray& keys : {QByteArray("exit\r"), QByteArray("\x1b[A\x1d")}) {
            auto p = f->start({"terminal", "2/5"});
            p->waitForStarted();
            p->write(keys); // the input stays open
            QVERIFY(p->waitForFinished(60000));
            QCOMPARE(p->exitCode(), 0);
            EXPECT_LACKS(p->readAllStandardOutput(), "\x04"); // the module's end, no text
            EXPECT_HAS(p->readAllStandardError(), "Console of module 2/5 closed.");
            EXPECT_ENDS(f->sim->headend().received(), "\x03\r");
            QVERIFY(!f->sim->headend().state(1, 4).consoleOpen);
        }
    }
};

ORVEX_TEST(CliTest)
#include "cli.moc"
