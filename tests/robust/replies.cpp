#include "link/Link.h"
#include "link/SharedState.h"
#include "module/ModuleTable.h"
#include "module/Parsers.h"
#include "sim/SimServer.h"
#include "tests/support/LinkFixture.h"
#include "tests/support/TestMain.h"

#include <QtTest>

namespace {
enum class Fault { Garble, Unterminated, BadChecksum };

// What a command leaves for the user to see: its result and the record's text it fills.
struct Outcome {
    bool ok = false;
    QString shown;
};
} // namespace

Q_DECLARE_METATYPE(Fault)

// Every kind of reply with a byte altered on the line, without its terminator, or with a
// wrong checksum: what the record (and so the window showing it) ends up with, no crash, no
// hang, and the same command answered properly right after.
class RepliesTest : public QObject {
    Q_OBJECT

    std::unique_ptr<SimServer> sim;
    std::unique_ptr<LinkFixture> f;

    TModule& record(int g, int s) { return *f->modules.at(s, g); }

    // Runs one command of the module at (g, s), which is selected; what it shows.
    Outcome run(int g, int s, const QByteArray& command) {
        Link& link = *f->link;
        TModule& m = f->modules.at(s, g) ? record(g, s) : f->modules.renew(s, g);
        m.Messages.clear();
        m.ErrorCount = 0;
        f->state.ReloadRequest = false;
        Outcome o;
        Link::tolerant(m, [&] {
            if (command == "0")
                o.ok = link.ReadInfoBlock(s, g), o.shown = m.TypeName;
            else if (command == "2")
                o.ok = link.ReadValues(s, g), o.shown = QString::number(m.Params[1].Values[0]);
            else if (command == "1")
                o.ok = link.ReadDiagBytes(s, g), o.shown = m.DiagBytes.join(',');
            else if (command == ":")
                o.ok = link.ReadExtDiag(s, g), o.shown = m.ExtDiag.join('|');
            else if (command == "<")
                o.ok = link.ReadMessages(s, g);
            else if (command == ";")
                o.ok = link.ReadVersion(s, g), o.shown = m.VersionText;
            else if (command == "?")
                o.ok = link.ReadSerial(s, g), o.shown = m.SerialText;
            else if (command == "$")
                o.ok = link.ReadHtmlMarker(s, g), o.shown = m.HtmlMarker;
            else if (command == "5")
                o.ok = link.WriteValue(6, 1), o.shown = f->state.ReloadRequest ? "reload" : "";
            else if (command == "6")
                o.ok = link.CommitEEPROM(s, g);
            else if (command == "03")
                o.shown = link.SendSpecCmd("03"), o.ok = !o.shown.startsWith('-');
        });
        if (!m.Messages.isEmpty())
            o.shown += " [" + m.Messages.join('|') + ']';
        if (command == "1")
            o.shown += m.DiagFault ? " red" : " green";
        return o;
    }
    void prepare(int g, int s, const QByteArray& command) {
        Link& link = *f->link;
        link.ReplyTimeout = 2000;
        QVERIFY(link.SelectModule(g, s));
        link.ReadInfoBlock(s, g);
        if (command == "03")
            QVERIFY(link.EnterSpecMode());
    }

private Q_SLOTS:
    void init() {
        QString error;
        sim = SimServer::startPty(demoProfile(), &error);
        QVERIFY2(sim, qPrintable(error));
        f = std::make_unique<LinkFixture>();
        LinkFixture::writePort(sim->slavePath());
        QVERIFY(f->link->OpenLink());
    }
    void cleanup() {
        f.reset();
        sim.reset();
    }

    void faultyReply_data() {
        QTest::addColumn<int>("subrack");
        QTest::addColumn<int>("slot");
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<Fault>("fault");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("shown");
        const Fault G = Fault::Garble, U = Fault::Unterminated, C = Fault::BadChecksum;
        // The demo modules: QAM4 modulator (1/1), optical transmitter (2/1), RPR-4 (2/3).
        QTest::newRow("info block: no ETX") << 0 << 0 << QByteArray("0") << U << false << "QM4-C";
        QTest::newRow("values: a separator")
            << 1 << 0 << QByteArray("2") << G << true << "95 [Missing parameters values]";
        QTest::newRow("values: no ETX") << 0 << 0 << QByteArray("2") << U << false
                                        << "3416 [ |Error loading parameters values]";
        QTest::newRow("diag bytes: a digit")
            << 0 << 0 << QByteArray("1") << G << true
            << "00,\x10"
               "0 [Diagnostic Bytes:|   #0  0000 0000|   #1   0000] red";
        // A reply that cannot be read ends its command; the module is not shown as healthy.
        QTest::newRow("diag bytes: the LF")
            << 1 << 0 << QByteArray("1") << G << false
            << " [Diagnostic Bytes:|Diagnostic bytes reply: no LF found after position 0 (the "
               "reply ends at 3)] red";
        QTest::newRow("ext diag: a letter")
            << 1 << 0 << QByteArray(":") << G << true
            << "Laser off|Laser bias high|Optical power low|RF input low|RF input higH|Laser "
               "temperature out of range|Cooler at limit|Supply voltage low";
        QTest::newRow("ext diag: no ETX")
            << 1 << 0 << QByteArray(":") << U << false
            << "Laser off|Laser bias high|Optical power low|RF input low|RF input high|Laser "
               "temperature out of range|Cooler at limit|Supply voltage low [ |No extended "
               "diagnostic]";
        QTest::newRow("messages: a letter")
            << 0 << 0 << QByteArray("<") << G << true
            << " [|Uptime 41 days 06:12|Last conFiguration change from panel]";
        QTest::newRow("messages: the ETX")
            << 1 << 0 << QByteArray("<") << G << false << " [ |No additional messages]";
        QTest::newRow("version: a digit") << 1 << 0 << QByteArray(";") << G << true
                                          << "V3.\x10"
                                             "4";
        QTest::newRow("serial: a digit") << 0 << 0 << QByteArray("?") << G << true
                                         << "OX-QM4-23\x11"
                                            "1-00417";
        QTest::newRow("page marker: a letter") << 1 << 0 << QByteArray("$") << G << true << "HTMl";
        // The module took the value; the program cannot know and reads the module again.
        QTest::newRow("write: the ACK") << 0 << 0 << QByteArray("5") << G << false << "reload";
        QTest::newRow("write: no ACK") << 0 << 0 << QByteArray("5") << U << false << "reload";
        QTest::newRow("commit: the ACK") << 0 << 0 << QByteArray("6") << G << false << "";
        QTest::newRow("special: a digit") << 1 << 2 << QByteArray("03") << G << false << "-1";
        QTest::newRow("special: no CR") << 1 << 2 << QByteArray("03") << U << false << "-2";
        QTest::newRow("special: checksum") << 1 << 2 << QByteArray("03") << C << false << "-1";
    }
    void faultyReply() {
        QFETCH(int, subrack);
        QFETCH(int, slot);
        QFETCH(QByteArray, command);
        QFETCH(Fault, fault);
        prepare(subrack, slot, command);
        const Outcome clean = run(subrack, slot, command);
        QVERIFY(clean.ok);

        SimFaults faults;
        (fault == Fault::Garble         ? faults.garbleReplies
         : fault == Fault::Unterminated ? faults.unterminated
                                        : faults.badChecksums) = 1;
        sim->headend().setFaults(subrack, slot, faults);
        const Outcome faulty = run(subrack, slot, command);
        QTEST(faulty.ok, "ok");
        QTEST(faulty.shown, "shown");

        // The module is addressed again and the same command is answered as before.
        prepare(subrack, slot, command);
        const Outcome next = run(subrack, slot, command);
        QVERIFY(next.ok);
        QCOMPARE(next.shown, clean.shown);
    }

    // The diagnostic report calls a module healthy only when its bytes were read and clear.
    void reportOfUnreadableDiagBytes_data() {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("healthy");
        QTest::newRow("clear") << QByteArray("00\n\x03", 4) << true;
        QTest::newRow("not hexadecimal") << QByteArray("\x10"
                                                       "0\n\x03",
                                                       4)
                                         << false;
        QTest::newRow("no LF") << QByteArray("00\x03", 3) << false;
    }
    void reportOfUnreadableDiagBytes() {
        QFETCH(QByteArray, reply);
        TModule m;
        m.DiagCount = 1;
        m.ExtDiag = QStringList(8, QStringLiteral("bit"));
        m.ExtDiagValid = true;
        QByteArray buffer(2048, '\0');
        buffer.replace(0, reply.size(), reply);
        Link::tolerant(m, [&] { ParseDiagBytes(m, buffer); });
        ExtDiagReport(m);
        QTEST(!m.DiagFault, "healthy");
        QTEST(m.Messages.contains("Diagnostic OK."), "healthy");
    }

    // A page marker whose letters were changed in case still marks a module with pages.
    void garbledMarkerStillOpensThePages() {
        TModule m;
        m.HtmlMarker = QStringLiteral("HTMl");
        QVERIFY(m.hasHtmlPages());
    }

    // A module whose every answer is garbled keeps the line usable for its neighbours.
    void babblingModuleLeavesTheOthersAlone() {
        Link& link = *f->link;
        link.ReplyTimeout = 2000;
        SimFaults babble;
        babble.garbleReplies = -1;
        sim->headend().setFaults(0, 0, babble);
        QVERIFY(link.SelectModule(0, 0));
        for (const QByteArray& c : {"0", ";", "1", "2", "$", ":", "<", "?"})
            run(0, 0, c);
        QVERIFY(link.SelectModule(0, 1));
        QVERIFY(link.ReadInfoBlock(1, 0));
        QCOMPARE(record(0, 1).TypeName, QString("RX-S2"));
        QCOMPARE(record(0, 1).ErrorCount, 0);
        QVERIFY(link.ReadValues(1, 0));
        QCOMPARE(record(0, 1).ErrorCount, 0);
    }
};

ORVEX_TEST(RepliesTest)
#include "replies.moc"
