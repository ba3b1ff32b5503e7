// The parts of orvex-cli that need no line: the command line, the key decoder, the trace
// format.
#include "cli/CliOptions.h"
#include "cli/KeyInput.h"
#include "cli/LineTrace.h"
#include "link/ConsoleSession.h"
#include "tests/support/TestMain.h"

#include <QTemporaryDir>
#include <QtTest>

class UnitsTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void options_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("command");
        QTest::addColumn<QStringList>("rest");
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("shown");
        QTest::newRow("options after the command")
            << QStringList{"scan", "--port", "DEMO", "--json"} << "scan" << QStringList{} << "DEMO"
            << "";
        QTest::newRow("inline value") << QStringList{"--port=ttyUSB0", "show", "2/16"} << "show"
                                      << QStringList{"2/16"} << "ttyUSB0"
                                      << "";
        QTest::newRow("negative shown value") << QStringList{"set", "1/1", "0", "--shown", "-3.5"}
                                              << "set" << QStringList{"1/1", "0"} << ""
                                              << "-3.5";
        QTest::newRow("negative raw value is an argument")
            << QStringList{"set", "1/1", "0", "-5"} << "set" << QStringList{"1/1", "0", "-5"} << ""
            << "";
    }
    void options() {
        QFETCH(QStringList, args);
        CliOptions o;
        QString error;
        QVERIFY2(CliOptions::parse(args, &o, &error), qPrintable(error));
        QTEST(o.command, "command");
        QTEST(o.args, "rest");
        QTEST(o.port, "port");
        QTEST(o.shown, "shown");
    }

    void moduleAddress_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("subrack"); // -1: not a module
        QTest::addColumn<int>("slot");
        QTest::newRow("first") << "1/1" << 0 << 0;
        QTest::newRow("last") << "2/16" << 1 << 15;
        QTest::newRow("slot 0") << "1/0" << -1 << 0;
        QTest::newRow("slot 17") << "2/17" << -1 << 0;
        QTest::newRow("subrack 3") << "3/1" << -1 << 0;
        QTest::newRow("leading zero") << "1/01" << -1 << 0;
        QTest::newRow("blank") << " 1/1" << -1 << 0;
    }
    void moduleAddress() {
        QFETCH(QString, text);
        QFETCH(int, subrack);
        ModuleAddress at;
        QCOMPARE(ModuleAddress::parse(text, &at), subrack >= 0);
        if (subrack >= 0) {
            QCOMPARE(at.subrack, subrack);
            QTEST(at.slot, "slot");
            QCOMPARE(at.name(), text);
        }
    }

    void keys_data() {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<bool>("final");
        QTest::addColumn<QList<int>>("keys");
        QTest::addColumn<bool>("end");
        QTest::newRow("text") << QByteArray("ab") << false << QList<int>{'a', 'b'} << false;
        QTest::newRow("cursor keys") << QByteArray("\x1b[D\x1b[A\x1bOC\x1b[B") << false
                                     << QList<int>{28, 29, 31, 30} << false;
        QTest::newRow("other sequences dropped")
            << QByteArray("\x1b[3~x\x1b[1;5A") << false << QList<int>{'x'} << false;
        QTest::newRow("sequence not complete yet")
            << QByteArray("a\x1b[") << false << QList<int>{'a'} << false;
        QTest::newRow("lone escape at the end")
            << QByteArray("\x1b") << true << QList<int>{27} << false;
        QTest::newRow("escape, then a letter")
            << QByteArray("\x1bq") << false << QList<int>{27, 'q'} << false;
        QTest::newRow("line ends")
            << QByteArray("a\nb\r\nc\r") << false << QList<int>{'a', 13, 'b', 13, 'c', 13} << false;
        QTest::newRow("backspace") << QByteArray("\x7f\b") << false << QList<int>{8, 8} << false;
        QTest::newRow("Ctrl-] ends, the rest is not typed")
            << QByteArray("x\x1dyz") << false << QList<int>{'x'} << true;
    }
    void keys() {
        QFETCH(QByteArray, input);
        QFETCH(bool, final);
        KeyDecoder d;
        d.feed(input);
        QList<int> keys;
        quint16 k = 0;
        while (d.next(&k, final))
            keys << k;
        QTEST(keys, "keys");
        QTEST(d.endRequested(), "end");
    }

    void consoleRing() {
        ConsoleKeys ring;
        ring.store('a');
        ring.store('b');
        QCOMPARE(ring.take(), quint16('a'));
        QCOMPARE(ring.take(), quint16('b'));
        QCOMPARE(ring.take(), quint16(0));
        // Eleven keys before the module asks: the oldest is overwritten.
        for (int i = 0; i < 11; ++i)
            ring.store(quint16('0' + i));
        QCOMPARE(ring.pending(), 10);
        QCOMPARE(ring.take(), quint16('1'));
    }

    void traceLine() {
        const QByteArray line = LineTrace::formatLine(QTime(9, 5, 7, 42), '<',
                                                      QByteArray("\x02"
                                                                 "A b\x03",
                                                                 5));
        QCOMPARE(line, QByteArray("09:05:07.042 < 02 41 20 62 03 |.A b.|"));
    }

    void traceFrames() {
        QTemporaryDir dir;
        LineTrace trace;
        QString error;
        QVERIFY(trace.open(dir.filePath(QStringLiteral("t")), &error));
        trace.bytes('>', "!0\r");
        trace.bytes('<', "\x02TY");     // a reply in pieces
        trace.bytes('<', "PE\x03\x06"); // its end and the next answer together
        trace.bytes('<', "late");       // ended by the next write
        trace.bytes('>', "!6\r");
        trace.bytes('<', "\x16tail"); // SYN ends a frame; the rest waits for the close
        trace.close();
        QFile file(dir.filePath(QStringLiteral("t")));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QStringList rows;
        for (const QByteArray& l : file.readAll().split('\n'))
            if (!l.isEmpty())
                rows << QString::fromLatin1(l.mid(13)); // without the time
        QCOMPARE(rows, (QStringList{"> 21 30 0D |!0.|", "< 02 54 59 50 45 03 |.TYPE.|", "< 06 |.|",
                                    "< 6C 61 74 65 |late|", "> 21 36 0D |!6.|", "< 16 |.|",
                                    "< 74 61 69 6C |tail|"}));
    }
};

ORVEX_TEST(UnitsTest)
#include "units.moc"
