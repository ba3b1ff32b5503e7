// The link against a scripted peer: the line settings, the command transaction, every byte
// the module commands and the special commands put on the line, the console and the
// diagnostic report.
#include "link/ConsoleSession.h"
#include "link/DiagReport.h"
#include "link/HeadendScan.h"
#include "link/Transport.h"
#include "tests/support/EventLoop.h"
#include "tests/support/Expect.h"
#include "tests/support/LinkFixture.h"
#include "tests/support/TestMain.h"

#include <QFile>
#include <QtTest>

namespace {
const QByteArray kAck("\x06");

// Records what the subrack view would show of each module found.
struct ShownScan : QuietScanView {
    void slotFound(int, int, const TModule& m) override {
        shown << m.TypeName + (m.healthy() ? " green" : " red");
    }
    QStringList shown;
};
} // namespace

class LinkTest : public QObject {
    Q_OBJECT
    std::unique_ptr<LinkFixture> f;

    Link& link() { return *f->link; }
    // Every frame the peer received, in hex, "|" between frames.
    QByteArray frames() const {
        QByteArrayList out;
        for (const QByteArray& fr : f->peer.frames())
            out << fr.toHex(' ').toUpper();
        return out.join(" | ");
    }

private Q_SLOTS:
    void init() {
        f = std::make_unique<LinkFixture>();
        QVERIFY(f->open());
        link().ReplyTimeout = 80;
    }
    void cleanup() { f.reset(); }

    // 115200 8E2 without flow control, whatever the settings file says, and stored so.
    void lineSettings() {
        // Each setting: stored at first, used and stored after.
        const QList<std::array<QString, 3>> settings{{"ComPort/BaudRate", "9600", "115200"},
                                                     {"ComPort/Parity", "None", "Even"},
                                                     {"ComPort/StopBits", "1", "2"}};
        for (const auto& [key, stored, used] : settings)
            QSettings("OXLCom.ini", QSettings::IniFormat).setValue(key, stored);
        QVERIFY2(link().OpenLink(), qPrintable(link().ComPort().errorString()));
        // A pseudo-terminal cannot carry parity; the port was asked for even parity.
        QCOMPARE(PtyPeer::text(f->peer.lineState()), "115200 8N2");
        QCOMPARE(link().ComPort().settings().Parity, QString("Even"));
        link().StorePortSettings();
        QSettings ini("OXLCom.ini", QSettings::IniFormat);
        for (const auto& [key, stored, used] : settings)
            QCOMPARE(ini.value(key).toString(), used);
        QCOMPARE(ini.value("ComPort/Port").toString(), f->peer.path());
        // Without a port name the default is COM1, the first serial device.
        QFile::remove("OXLCom.ini");
        Link fresh(f->modules, f->state, f->host);
        fresh.OpenLink();
        QCOMPARE(fresh.ComPort().portName(), QString("COM1"));
        QCOMPARE(Transport::devicePath("com12"), QString("/dev/ttyS11"));
    }

    // A select frame is repeated until two answers agree or cannot agree any more.
    void select_data() {
        QTest::addColumn<int>("subrack");
        QTest::addColumn<int>("slot");
        QTest::addColumn<QString>("answers"); // a: acknowledged, -: silence
        QTest::addColumn<bool>("result");
        QTest::addColumn<QByteArray>("frame");
        QTest::newRow("two of three") << 1 << 2 << "a-a" << true << QByteArray("21 C1 82");
        QTest::newRow("one of three") << 0 << 4 << "a--" << false << QByteArray("21 C0 84");
        QTest::newRow("twice, slot 16") << 0 << 16 << "aa" << true << QByteArray("21 C0 90");
        QTest::newRow("never") << 0 << 4 << "--" << false << QByteArray("21 C0 84");
    }
    void select() {
        QFETCH(int, subrack);
        QFETCH(int, slot);
        QFETCH(QString, answers);
        QFETCH(QByteArray, frame);
        for (QChar c : answers)
            f->peer.queue(c == 'a' ? kAck : QByteArray());
        QTEST(link().SelectModule(subrack, slot), "result");
        QCOMPARE(frames(), QByteArrayList(answers.size(), frame).join(" | "));
    }

    void valueWrites() {
        f->peer.setResponder(PtyPeer::acknowledge);
        QVERIFY(link().WriteValue(3, 120));
        QVERIFY(link().WriteValue(90, 0));
        QVERIFY(link().ResetModuleType());
        QVERIFY(link().WriteValue(1, -5));
        QCOMPARE(frames(), QByteArray("21 35 33 0A 31 32 30 0D | 21 35 5A 0A 30 0D | "
                                      "21 35 5A 0A 30 0D | 21 35 31 0A 2D 35 0D"));
        QVERIFY(!f->state.ReloadRequest);
        // Unanswered: the work loop is asked to read the module's values again; the next
        // write goes out.
        f->peer.setResponder({});
        QVERIFY(!link().WriteValue(2, 7));
        QVERIFY(f->state.ReloadRequest && f->state.SkipInfoReload);
        f->peer.setResponder(PtyPeer::acknowledge);
        QVERIFY(link().WriteValue(2, 7));
    }

    // A write or a commit started while another command waits for its reply sends nothing; the
    // commit is tried again later, the module stays dirty. A re-read asked for meanwhile waits
    // for the reply too.
    void commandsWhileAnotherWaits() {
        TModule& m = f->modules.renew(2, 0);
        m.Dirty = true;
        f->peer.queue({});
        link().ReplyTimeout = 5000;
        bool write = true, commit = true, reread = true;
        // Runs inside the first write's wait, once it is out; then the module answers it.
        QTimer::singleShot(0, [&] {
            runUntil([&] { return f->peer.frames().size() == 1; });
            write = link().WriteValue(4, 1);
            commit = link().CommitEEPROM(2, 0);
            f->state.ReloadRequest = true;
            reread = f->session->reloadDue();
            f->peer.send(kAck);
        });
        QVERIFY(link().WriteValue(3, 120));
        QVERIFY(!write && !commit && !reread && f->session->reloadDue());
        QCOMPARE(f->host.rearmCount, 1);
        QVERIFY(m.Dirty);
        QCOMPARE(f->peer.frames().size(), 1);
        link().ReplyTimeout = 80;
        QVERIFY(!link().CommitEEPROM(2, 0)); // unanswered: Dirty is cleared all the same
        QVERIFY(!m.Dirty);
        QCOMPARE(frames(), QByteArray("21 35 33 0A 31 32 30 0D | 21 36 0D"));
    }

    void defaults_data() {
        QTest::addColumn<QString>("type");
        QTest::addColumn<int>("acks");       // answered frames, -1 all
        QTest::addColumn<QString>("writes"); // parameter:value, or ">" for the defaults command
        QTest::addColumn<bool>("reload");
        QTest::newRow("kx350A") << "kx350A" << -1 << "0:0 9:0 1:47 3:2 8:0 0:1 1:48 3:2 8:0 0:0"
                                << true;
        QTest::newRow("kx350 other variant") << "kx350X" << -1 << "" << false;
        QTest::newRow("other family") << "QAM-4" << -1 << "> > >" << false;
        QTest::newRow("stops at the first silence") << "AMP-860" << 1 << "> >" << false;
    }
    void defaults() {
        QFETCH(QString, type);
        QFETCH(int, acks);
        QFETCH(QString, writes);
        if (acks < 0)
            f->peer.setResponder(PtyPeer::acknowledge);
        for (int i = 0; i < acks; ++i)
            f->peer.queue(kAck);
        f->modules.renew(5, 1).TypeName = type;
        link().LoadDefaults(5, 1);
        QList<QByteArray> expected;
        for (const QString& w : writes.split(' ', Qt::SkipEmptyParts))
            expected << (w == ">" ? QByteArray("!>\r")
                                  : "!5" + w.section(':', 0, 0).toLatin1() + "\n" +
                                        w.section(':', 1).toLatin1() + "\r");
        QCOMPARE(f->peer.frames(), expected);
        QTEST(f->state.ReloadRequest && f->state.SkipInfoReload, "reload");
    }

    void readersAndTheirFailureLines() {
        TModule& m = f->modules.renew(3, 0);
        m.Messages << "old";
        m.ErrorCount = 4;
        QVERIFY(!link().ReadInfoBlock(3, 0)); // reset first, then unanswered
        QCOMPARE(m.ErrorCount, 0);
        QVERIFY(m.Messages.isEmpty());
        QCOMPARE(link().ReplyTimeout, 2000);
        link().ReplyTimeout = 80;
        // The failure lines of the other readers: robust.RepliesTest.
        QVERIFY(!link().ReadHtmlMarker(3, 0));
        QCOMPARE(link().ReplyTimeout, 80);
        f->peer.queue("V2.10\n\x03");
        QVERIFY(link().ReadVersion(3, 0));
        QCOMPARE(m.VersionText, QString("V2.10"));
        QCOMPARE(frames(), QByteArray("21 30 0D | 21 24 0D | 21 3B 0D"));
    }

    // A special command with its checksum; its reply read up to CR and checked (a wrong
    // checksum and a missing CR: robust.RepliesTest).
    void special_data() {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("pauseMs"); // between the bytes of the reply
        QTest::addColumn<QString>("result");
        const QByteArray good = specReply("05AABBCCDD");
        QTest::newRow("byte by byte") << good << 5 << QString::fromLatin1(good);
        QTest::newRow("no R, not hex") << QByteArray("xyz0\r") << 0 << "-3";
        // Special commands go to a port that is open already; a closed one is not opened.
        QTest::newRow("port closed") << QByteArray() << 0 << "-2";
    }
    void special() {
        QFETCH(QByteArray, reply);
        QFETCH(int, pauseMs);
        f->peer.setResponder([=](const QByteArray&) { return PtyPeer::Reply{reply, pauseMs}; });
        if (reply.isEmpty())
            link().closePort();
        QTEST(link().SendSpecCmd("03"), "result");
        QCOMPARE(link().ComPort().isOpen(), !reply.isEmpty());
        QCOMPARE(f->peer.frames().value(0), reply.isEmpty() ? "" : QByteArray("!03RC2E4\n\r"));
    }

    // The reply is everything queued when the terminator arrives; an unanswered command leaves
    // the buffer as it was.
    void transaction() {
        f->peer.queue("\x02"
                      "abc\x03"
                      "def");
        link().ReplyTimeout = 2000;
        QVERIFY(link().SendCommand(Ascii::ETX, "0"));
        EXPECT_BYTES(link().RxBuffer.left(link().RxCount), "\x02"
                                                           "abc\x03"
                                                           "def");
        QCOMPARE(f->peer.frames(), QList<QByteArray>{"!0\r"});
        // Unanswered: false, the buffer as it was, LinkBusy cleared; the next waits afresh.
        link().LinkBusy = true;
        link().ReplyTimeout = 80;
        QVERIFY(!link().SendCommand(Ascii::ETX, "1"));
        QCOMPARE(link().RxCount, 8);
        QVERIFY(!link().LinkBusy);
        QVERIFY(!link().SendCommand(Ascii::ETX, "1"));
        QCOMPARE(f->peer.frames().size(), 3);
        // A reply that comes after its time-out is read in front of the next one.
        f->peer.queue("next\x03");
        f->peer.send("late\x03");
        QVERIFY(runUntil([&] { return link().ComPort().bytesWaiting() >= 5; }));
        link().ReplyTimeout = 2000;
        QVERIFY(link().SendCommand(Ascii::ETX, "2"));
        EXPECT_BYTES(link().RxBuffer.left(link().RxCount), "late\x03next\x03");
        // A time-out that is no time-out falls back to the default.
        link().ReplyTimeout = -5;
        QCOMPARE(link().effectiveTimeout(), Link::DefaultScanTimeout);
    }

    // A port that vanishes ends the wait; one that cannot be opened raises at the next command.
    void portFaults() {
        QSignalSpy lost(f->link, &Link::portLost);
        link().ReplyTimeout = 5000;
        QTimer::singleShot(0, [&] { f->peer.hangUp(); }); // inside the wait
        QVERIFY_THROWS_EXCEPTION(PortError, link().SendCommand(Ascii::ETX, "1"));
        QCOMPARE(lost.size(), 1);
        QVERIFY(!link().ComPort().isOpen());
        LinkFixture::writePort("/dev/does-not-exist");
        QVERIFY(!link().OpenLink());
        QVERIFY_THROWS_EXCEPTION(PortError, link().SendCommand(Ascii::ETX, "1"));
    }

    // "LineBreak" holds the slow speed until its zero byte has had its time on the line (one
    // character at 19200 baud), then the line is as it was.
    void lineBreak() {
        link().closePort();
        const auto line = Transport::forPort(f->peer.path());
        QVERIFY(line->open(LineConfig{}));
        QElapsedTimer clock;
        clock.start();
        QVERIFY(line->lineBreak());
        QVERIFY2(clock.nsecsElapsed() >= 625'000,
                 qPrintable(QString::number(clock.nsecsElapsed())));
        QVERIFY(f->peer.waitForFrames(1));
        EXPECT_BYTES(f->peer.received(), QByteArray(1, '\0'));
        QCOMPARE(f->peer.lineState().baud, 115200);
    }

    // Keys paced by SYN: a SYN at the end of the module's output asks for a key (so does one a
    // late reader finds there), one inside the text does not and is taken out of it; a request
    // with nothing pending lets the next key go at once. A whole session: cli.CliTest.
    void console() {
        ConsoleSession console(link(), f->state, f->host);
        console.open();
        QVERIFY(f->state.TerminalMode);
        console.type('a');
        console.type(ConsoleLeft);
        bool eot = false;
        QCOMPARE(console.received("x\x16y", &eot), QByteArray("xy"));
        QCOMPARE(console.received("hello\x16", &eot), QByteArray("hello"));
        for (int i = 0; i < 2; ++i) // the second finds nothing left to send
            QCOMPARE(console.received("\x16", &eot), QByteArray());
        QVERIFY(!eot);
        console.type('z');
        console.type('q');
        QCOMPARE(console.received("bye\x04", &eot), QByteArray("bye\x04"));
        QVERIFY(eot);
        QVERIFY(runUntil([&] { return f->peer.frames().size() >= 5; }));
        EXPECT_BYTES(f->peer.received(), "9\ra\x1cz");
        QCOMPARE(console.keys().pending(), 1);
        console.close();
        QVERIFY(f->state.ReloadRequest && !f->state.TerminalMode);
        QCOMPARE(link().ComPort().eventMask(), SerialPort::EventMask::RxFlag);
        // Eleven keys before the module asks: the oldest is overwritten.
        ConsoleKeys ring;
        for (int i = 0; i < 11; ++i)
            ring.store(quint16('0' + i));
        QCOMPARE(ring.pending(), 10);
        QCOMPARE(ring.take(), quint16('1'));
    }

    // A console whose line goes: the session hears of it and ends; on the line that comes back
    // the module's console is ended before the next frame (what the windows do: robust_gui).
    void consoleOnALostLine() {
        QTemporaryDir lineDir;
        const SimServerOptions options{.linkPath = lineDir.filePath("headend")};
        LinkFixture s(true, options);
        QVERIFY(s.link->OpenLink() && s.link->SelectModule(0, 8));
        ConsoleSession console(*s.link, s.state, s.host);
        QSignalSpy lost(&console, &ConsoleSession::lost);
        console.open();
        QVERIFY(runUntil([&] { return s.headend().state(0, 8).consoleOpen; }));
        s.sim->closeLine();
        QVERIFY(runUntil([&] { return lost.size() == 1; }));
        QVERIFY(!s.state.TerminalMode && !console.isOpen());
        QString error;
        QVERIFY2(s.sim->reopenLine(&error), qPrintable(error));
        s.headend().clearLog();
        QVERIFY(s.link->SelectModule(0, 5));
        EXPECT_STARTS(s.headend().received(), "\x03\r");
        QVERIFY(!s.headend().state(0, 8).consoleOpen);
    }

    // A scan of the demo head-end with a module whose info block cannot be read: that module is
    // never shown as clear, the scan and its report say so. The report of a module with a
    // diagnostic fault: its lines, and the extended texts read once per scan. A rescan through
    // a console left open.
    void scanAndReports() {
        SimProfile profile = demoProfile();
        profile.modules[0].module.type = "BAD\nX"; // 1/1: the LF shifts line 2 to "X"
        const auto sim = startDemo({}, profile);
        QVERIFY(link().OpenLink(sim->slavePath()));
        ShownScan view;
        ScanHeadend(link(), f->modules, f->state, f->host, view);
        QCOMPARE(view.shown.size(), int(profile.modules.size()));
        QCOMPARE(view.shown.first(), QString("BAD red"));
        QCOMPARE(f->host.messages.size(), 1);
        EXPECT_STARTS(f->host.messages.first(), "Group#1 Module #1: Info block: ");
        QVERIFY(link().SelectModule(0, 0));
        EXPECT_HAS(DiagReport(link(), f->modules, 0, 0), f->host.messages.first().mid(19));
        const QStringList expected =
            QString("Module #3  RX-S2  Vers. V2.07|SN OX-RS2-2304-01187|=====================|"
                    "Diagnostic Bytes:|   #0  0000 0101|   #1  0000 0000||"
                    "Extended Diagnostic Info:||No input signal|Demodulator not locked||"
                    "LNB current 0 mA|Last lock 03:41:07")
                .split('|');
        QVERIFY(link().SelectModule(0, 2));
        QCOMPARE(DiagReport(link(), f->modules, 2, 0), expected);
        QVERIFY(f->modules.at(2, 0)->DiagFault);
        QCOMPARE(f->modules.diagLines(2, 0), expected.mid(0, 3));
        sim->headend().clearLog();
        DiagReport(link(), f->modules, 2, 0);
        EXPECT_LACKS(sim->headend().received(), "!:\r");

        // A console left open (1/9) takes the frames as keys: where 1/1 answered before, the
        // next scan ends that console and asks 1/1 again.
        QVERIFY(link().SelectModule(0, 8));
        link().ComPort().write("9\r");
        QTRY_VERIFY(sim->headend().state(0, 8).consoleOpen);
        sim->headend().clearLog();
        view.shown.clear();
        ScanHeadend(link(), f->modules, f->state, f->host, view);
        QCOMPARE(view.shown.size(), int(profile.modules.size()));
        const QByteArray sent = sim->headend().received();
        EXPECT_BYTES(sent.left(sent.indexOf('\x03')), "!\xC0\x80!\xC0\x80");
        EXPECT_STARTS(sent.mid(6), "\x03\r!\xC0\x80!\xC0\x80!0\r");
    }
};

ORVEX_TEST(LinkTest)
#include "link.moc"
