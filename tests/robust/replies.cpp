// Every kind of reply of the demo head-end with a byte altered on the line, without its
// terminator, or with a wrong checksum: what the record (and so the window showing it) ends
// up with, no crash, no hang, and the same command answered properly right after.
#include "tests/support/LinkFixture.h"
#include "tests/support/TestMain.h"

#include <QtTest>

class RepliesTest : public QObject {
    Q_OBJECT
    std::unique_ptr<LinkFixture> f;

    // Runs one command of the module at (g, s), which is selected; what the user sees of it:
    // "ok" or "failed", the record's text, its messages, and for "1" the caption's colour.
    QString run(int g, int s, const QByteArray& command) {
        Link& link = *f->link;
        TModule& m = f->modules.at(s, g) ? *f->modules.at(s, g) : f->modules.renew(s, g);
        m.Messages.clear();
        m.ErrorCount = 0;
        bool ok = false;
        QString shown;
        Link::tolerant(m, [&] {
            const QHash<QByteArray, std::function<void()>> commands{
                {"0", [&] { ok = link.ReadInfoBlock(s, g), shown = m.TypeName; }},
                {"2",
                 [&] {
                     ok = link.ReadValues(s, g), shown = QString::number(m.Params[1].Values[0]);
                 }},
                {"1", [&] { ok = link.ReadDiagBytes(s, g), shown = m.DiagBytes.join(','); }},
                {":", [&] { ok = link.ReadExtDiag(s, g), shown = m.ExtDiag.join('|'); }},
                {"<", [&] { ok = link.ReadMessages(s, g); }},
                {"?", [&] { ok = link.ReadSerial(s, g), shown = m.SerialText; }},
                {"$",
                 [&] {
                     ok = link.ReadHtmlMarker(s, g);
                     shown = m.HtmlMarker + (m.hasHtmlPages() ? "" : " no pages");
                 }},
                {"5", [&] { ok = link.WriteValue(6, 1); }},
                {"6", [&] { ok = link.CommitEEPROM(s, g); }},
                {"03", [&] { shown = link.SendSpecCmd("03"), ok = !shown.startsWith('-'); }}};
            commands[command]();
        });
        if (!m.Messages.isEmpty())
            shown += " [" + m.Messages.join('|') + ']';
        if (command == "1")
            shown += m.DiagFault ? " red" : " green";
        return (ok ? "ok " : "failed ") + shown;
    }
    void prepare(int g, int s, const QByteArray& command) {
        f->link->ReplyTimeout = 2000;
        QVERIFY(f->link->SelectModule(g, s));
        f->link->ReadInfoBlock(s, g);
        if (command == "03")
            QVERIFY(f->link->EnterSpecMode());
    }

private Q_SLOTS:
    void init() {
        f = std::make_unique<LinkFixture>(true);
        QVERIFY(f->link->OpenLink());
    }
    void cleanup() { f.reset(); }

    void faultyReply_data() {
        QTest::addColumn<int>("subrack");
        QTest::addColumn<int>("slot");
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<char>("fault"); // g garbled, u unterminated, c wrong checksum
        QTest::addColumn<QString>("shown");
        const auto row = [](const char* name, int g, int s, const char* command, char fault,
                            const QString& shown) {
            QTest::newRow(name) << g << s << QByteArray(command) << fault << shown;
        };
        // The demo modules: QM4-C modulator (1/1), optical transmitter (2/1), RPR-4 (2/3).
        row("info block: no ETX", 0, 0, "0", 'u', "failed QM4-C");
        row("values: a separator", 1, 0, "2", 'g', "ok 95 [Missing parameters values]");
        row("values: no ETX", 0, 0, "2", 'u', "failed 3416 [ |Error loading parameters values]");
        row("diag bytes: a digit", 0, 0, "1", 'g',
            "ok 00,\x10"
            "0 [Diagnostic Bytes:|   #0  0000 0000|   #1   0000] red");
        // A reply that cannot be read ends its command; the module is not shown as healthy.
        row("diag bytes: the LF", 1, 0, "1", 'g',
            "failed  [Diagnostic Bytes:|Diagnostic bytes reply: no LF found after position 0 (the "
            "reply ends at 3)] red");
        const QString ext =
            "Laser off|Laser bias high|Optical power low|RF input low|RF input "
            "high|Laser temperature out of range|Cooler at limit|Supply voltage low";
        row("ext diag: a letter", 1, 0, ":", 'g',
            "ok " + QString(ext).replace("high|Laser t", "higH|Laser t"));
        row("ext diag: no ETX", 1, 0, ":", 'u', "failed " + ext + " [ |No extended diagnostic]");
        row("messages: a letter", 0, 0, "<", 'g',
            "ok  [|Uptime 41 days 06:12|Last conFiguration change from panel]");
        row("messages: the ETX", 1, 0, "<", 'g', "failed  [ |No additional messages]");
        row("serial: a digit", 0, 0, "?", 'g',
            "ok OX-QM4-23\x11"
            "1-00417");
        // The version is read as the marker is (its last line).
        row("page marker: a letter", 1, 0, "$", 'g', "ok HTMl");
        // The module took the value; the program cannot know (and reads the module again:
        // link.LinkTest). An ACK that does not come is waited for as a garbled one is.
        row("write: the ACK", 0, 0, "5", 'g', "failed ");
        row("commit: the ACK", 0, 0, "6", 'g', "failed ");
        // A digit garbled in the text fails its checksum as a wrong checksum does.
        row("special: no CR", 1, 2, "03", 'u', "failed -2");
        row("special: checksum", 1, 2, "03", 'c', "failed -1");
    }
    void faultyReply() {
        QFETCH(int, subrack);
        QFETCH(int, slot);
        QFETCH(QByteArray, command);
        QFETCH(char, fault);
        prepare(subrack, slot, command);
        const QString clean = run(subrack, slot, command);
        QVERIFY2(clean.startsWith("ok "), qPrintable(clean));
        SimFaults faults;
        (fault == 'g'   ? faults.garbleReplies
         : fault == 'u' ? faults.unterminated
                        : faults.badChecksums) = 1;
        f->headend().setFaults(subrack, slot, faults);
        QTEST(run(subrack, slot, command), "shown");
        // The module is addressed again and the same command is answered as before.
        prepare(subrack, slot, command);
        QCOMPARE(run(subrack, slot, command), clean);
    }
};

ORVEX_TEST(RepliesTest)
#include "replies.moc"
