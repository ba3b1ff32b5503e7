// The head-end reached through a real ser2net in front of the simulator, as a hub site's
// terminal server: raw TCP (line fixed at the server) and telnet with the com-port option
// (line set by the program), and the faults of a network line. (The scan, a save and a load
// with an added round trip: forwarder.ForwarderTest.)
#include "tests/support/Ser2net.h"
#include "link/HeadendScan.h"
#include "link/Transport.h"
#include "sim/SimServer.h"
#include "tests/support/EventLoop.h"
#include "tests/support/Expect.h"
#include "tests/support/LineChecks.h"
#include "tests/support/LinkFixture.h"
#include "tests/support/TestMain.h"
#include "tests/support/Unanswered.h"

#include <QtTest>

namespace {
constexpr int kAmpSlot = 5;     // 1/6 LA-862, launch amplifier
constexpr int kConsoleSlot = 8; // 1/9 network controller with a console
} // namespace

class RemoteTest : public QObject {
    Q_OBJECT

    std::unique_ptr<SimServer> sim;
    Ser2net server;

    void open(LinkFixture& f, const QString& name) {
        QVERIFY2(f.link->OpenLink(name), qPrintable(f.link->ComPort().errorString()));
    }

private Q_SLOTS:
    void initTestCase() {
        if (!Ser2net::available())
            QSKIP("ser2net is not installed (scripts/setup.sh installs it)");
        sim = startDemo();
        QString error;
        QVERIFY2(server.start(sim->slavePath(), &error), qPrintable(error));
    }

    // Through either kind of server: the console, and the pages on a channel of their own (a
    // save and a load through either: forwarder.ForwarderTest).
    void operations_data() {
        QTest::addColumn<QString>("mode");
        QTest::newRow("raw TCP") << "tcp";
        QTest::newRow("RFC 2217") << "rfc2217";
    }
    void operations() {
        QFETCH(QString, mode);
        LinkFixture f;
        open(f, server.name(mode));
        LineChecks::console(f, *sim, kConsoleSlot);
        if (!QTest::currentTestFailed())
            LineChecks::pages(f, server.name(mode));
    }

    // "LineBreak": a break through RFC 2217; a raw stream cannot carry one and sends nothing.
    void lineBreak() {
        SerialPort raw, telnet;
        raw.setPortName(server.name("tcp"));
        telnet.setPortName(server.name("rfc2217"));
        sim->headend().clearLog();
        QVERIFY(!raw.lineBreak());
        EXPECT_HAS(raw.errorString(), "cannot send a break");
        QVERIFY2(telnet.lineBreak(), qPrintable(telnet.errorString()));
        QVERIFY(!telnet.isOpen());
        QCOMPARE(sim->headend().received(), QByteArray());
    }

    // Names that lead nowhere and lines that drop: said plainly, nothing hangs, and the next
    // action connects again (the pages after a lost line: robust.PagesTest).
    void faults() {
        LinkFixture f;
        QVERIFY(!f.link->OpenLink("tcp://no-such-host.invalid:4001"));
        EXPECT_HAS(f.link->ComPort().errorString(), "host not found");
        QVERIFY(!f.link->OpenLink(Ser2net::lineName("rfc2217", unusedPort())));
        EXPECT_HAS(f.link->ComPort().errorString(), "refused");

        DelayProxy proxy(server.telnetPort(), 0);
        open(f, Ser2net::lineName("rfc2217", proxy.port()));
        // A second client while the first holds the line: ser2net's words, not its bytes (when
        // its reset overtakes them on a busy machine, the reset is all there is to tell).
        const auto second = Transport::forPort(server.name("rfc2217"));
        QVERIFY(!second->open(LineConfig{}));
        const QString said = second->errorString();
        QVERIFY2(said.endsWith(QString(Transport::InUseText) + " (Port already in use)") ||
                     said.endsWith("Connection reset by peer"),
                 qPrintable(said));
        QuietScanView view;
        proxy.cutOn(QByteArray("!\xC0") + char(0x80 + kAmpSlot)); // its select frame
        QVERIFY_THROWS_EXCEPTION(PortError, f.session->scan(view));
        QVERIFY(runUntil([&] { return server.idle(); })); // the cut reached ser2net
        QCOMPARE(f.session->scan(view), int(demoProfile().modules.size()));
    }
};

ORVEX_TEST(RemoteTest)
#include "ser2net.moc"
