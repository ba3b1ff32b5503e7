// A line whose connection ends at a forwarder nearby (ssh -L, a local proxy): the handshake
// says nothing of the round trip behind it, which the program learns from replies.
#include "sim/SimServer.h"
#include "tests/support/EventLoop.h"
#include "tests/support/Expect.h"
#include "tests/support/LinkFixture.h"
#include "tests/support/Ser2net.h"
#include "tests/support/TestMain.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

namespace {
constexpr int kFirstAmp = 0, kSecondImage = 1; // in smallDemoProfile()
} // namespace

class ForwarderTest : public QObject {
    Q_OBJECT

    std::unique_ptr<SimServer> sim;
    Ser2net server;

private Q_SLOTS:
    void initTestCase() {
        if (!Ser2net::available())
            QSKIP("ser2net is not installed (scripts/setup.sh installs it)");
        sim = startDemo({}, smallDemoProfile());
        QString error;
        QVERIFY2(server.start(sim->slavePath(), &error), qPrintable(error));
    }

    // Scan, a module read, a value set, the configuration saved and loaded back. The image
    // module (special commands, a line each way) only where that stays short. The same through
    // ser2net's telnet accepter, whose line the program sets (at the raw one, ser2net's
    // settings) and whose set-up exchange tells the round trip.
    void delayed_data() {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<int>("eachWay"); // ms the forwarder holds every byte back
        QTest::addColumn<bool>("images");
        for (const int ms : {0, 40, 160})
            QTest::addRow("%d ms each way", ms) << "tcp" << ms << (ms == 40);
        QTest::newRow("RFC 2217") << "rfc2217" << 0 << true;
        QTest::newRow("RFC 2217, 20 ms each way") << "rfc2217" << 20 << false;
    }
    void delayed() {
        QFETCH(QString, mode);
        QFETCH(int, eachWay);
        QFETCH(bool, images);
        QElapsedTimer clock;
        clock.start();
        sim->headend().setFaults(0, kSecondImage,
                                 faults([&](SimFaults& s) { s.absent = !images; }));
        DelayProxy proxy(server.port(mode), 2 * eachWay);
        LinkFixture f;
        const QString name = Ser2net::lineName(mode, proxy.port());
        QVERIFY(f.link->OpenLink(name));
        const QString connected = f.host.status;
        EXPECT_STARTS(connected, name + " connected, round trip ");
        QVERIFY(mode == "tcp" || connected.section(' ', -2, -2).toInt() >= 2 * eachWay);
        QuietScanView view;
        f.session->scan(view);
        QCOMPARE(f.host.status, ScanResultText(images ? 2 : 1));
        QCOMPARE(PtyPeer::text(sim->endpoint().lineState()), "115200 8N2"); // no parity on a pty
        // ser2net lets go of a closed connection in its own time and turns the next one away
        // until then (told only once connected, on a raw line): each operation waits for it.
        const auto released = [&] {
            f.link->closePort();
            return runUntil([&] { return server.idle(); });
        };
        QCOMPARE(f.modules.at(kFirstAmp, 0)->TypeName, QString("LA-862"));
        QVERIFY(f.link->ComPort().roundTripMs() >= 2 * eachWay);
        const int saved = *sim->headend().committedValue(0, kFirstAmp, 0, 0);
        QVERIFY(released());
        QVERIFY2(f.session->saveConfig("headend.mmh").kind == FileOutcome::Done,
                 qPrintable(f.host.messages.join('\n')));
        QVERIFY(released());
        QVERIFY(f.link->SelectModule(0, kFirstAmp));
        QVERIFY(f.link->WriteValue(0, saved == 0 ? 1 : 0));
        QVERIFY(f.link->CommitEEPROM(kFirstAmp, 0));
        QCOMPARE(sim->headend().committedValue(0, kFirstAmp, 0, 0), saved == 0 ? 1 : 0);

        QVERIFY(released());
        QCOMPARE(f.session->load("headend.mmh", false).kind, FileOutcome::Done);
        QCOMPARE(sim->headend().committedValue(0, kFirstAmp, 0, 0), saved);
        qInfo("%d ms each way: %lld ms, round trip learnt %d ms", eachWay, clock.elapsed(),
              f.link->ComPort().roundTripMs());
    }

    // Nothing in the first slot: the time-outs are a guess from then on. The next reply may be
    // one that a short wait missed and so belong to a slot before: the scan starts again.
    void firstSlotEmpty() {
        sim->headend().setFaults(0, kFirstAmp, faults([](SimFaults& s) { s.absent = true; }));
        sim->headend().setFaults(0, kSecondImage, {});
        DelayProxy proxy(server.port("tcp"), 2 * 160);
        LinkFixture f;
        QVERIFY(f.link->OpenLink(Ser2net::lineName("tcp", proxy.port())));
        struct View : QuietScanView { // ends the scan at 1/3, once 1/2 has been found
            RecordingHost* host;
            bool found = false;
            QString seen; // "+2 -3": found in 1/2, none in 1/3
            void slotFound(int, int s, const TModule&) override {
                found = s == kSecondImage;
                seen += QStringLiteral(" +%1").arg(s + 1);
            }
            void slotEmpty(int, int s) override {
                host->stop = found && s == kSecondImage + 1;
                seen += QStringLiteral(" -%1").arg(s + 1);
            }
        } view;
        view.host = &f.host;
        const int found = f.session->scan(view);
        sim->headend().setFaults(0, kFirstAmp, {});
        QVERIFY2(f.host.stop, qPrintable(view.seen));
        QCOMPARE(found, 1);
        QCOMPARE(f.modules.at(kSecondImage, 0)->TypeName, QString("NC-100"));
        QCOMPARE(f.modules.at(kSecondImage + 1, 0)->TypeName, NotInstalledText);
        QVERIFY(f.link->ComPort().roundTripMs() >= 2 * 160);
    }

    // Replies that come after their time-out are dropped before the next frame, and tell the
    // round trip.
    void lateReply() {
        sim->headend().setFaults(0, kSecondImage, {});
        LinkFixture f;
        QVERIFY(f.link->OpenLink(server.name("tcp")));
        QVERIFY(f.link->SelectModule(0, kFirstAmp));
        const int before = f.link->ComPort().roundTripMs();
        sim->setLatencyMs(300 + f.link->effectiveTimeout());
        QVERIFY(!f.link->SelectModule(0, kFirstAmp));
        QVERIFY(runUntil([&] { return f.link->ComPort().bytesWaiting() >= 2; })); // both ACKs
        sim->setLatencyMs(2);
        QVERIFY(f.link->ReadInfoBlock(kFirstAmp, 0));
        QCOMPARE(f.link->RxBuffer.at(0), Ascii::STX);
        QVERIFY(f.link->ComPort().roundTripMs() > before + 20);
        // One that is still coming in when its time-out ends is taken whole: cut there, its rest
        // would be taken for the next reply.
        LinkFixture slow;
        QTcpServer peer;
        QVERIFY(peer.listen(QHostAddress::LocalHost));
        QObject::connect(&peer, &QTcpServer::newConnection, [&] {
            QTcpSocket* s = peer.nextPendingConnection();
            QObject::connect(s, &QTcpSocket::readyRead, s, [s, &slow] {
                if (!s->readAll().contains("!0\r"))
                    return;
                s->write("\x02first half");
                // Past the time-out, within the margin the line is given to go on.
                QTimer::singleShot(slow.link->effectiveTimeout() + 300, s,
                                   [s] { s->write(", second half\x03"); });
            });
        });
        QVERIFY(slow.link->OpenLink(Ser2net::lineName("tcp", peer.serverPort())));
        QVERIFY(slow.link->SendCommand(Ascii::ETX, "0"));
        QCOMPARE(slow.link->RxBuffer.left(slow.link->RxCount), "\x02first half, second half\x03");

        QByteArray notes; // what a trace shows
        f.link->ComPort().setTap([&](char dir, const QByteArray& b) { notes += dir + b; });
        f.link->closePort();
        QVERIFY2(notes.startsWith("#round trip "), notes);
    }
};

ORVEX_TEST(ForwarderTest)
#include "forwarder.moc"
