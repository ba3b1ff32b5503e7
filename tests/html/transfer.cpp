#include "html/ContentTransfer.h"
#include "html/RawChannel.h"
#include "tests/html/ScriptedModule.h"
#include "tests/support/TestMain.h"

#include <QtTest>
#include <sys/file.h>

using namespace PagesCodec;

namespace {
struct Line {
    Line() : module(peer) {
        if (!channel.OpenRawPort(peer.path()))
            qFatal("cannot open %s", qPrintable(channel.errorString()));
    }
    QList<QByteArray> frames() const { return peer.frames(); }
    int count(const QByteArray& frame) const { return int(peer.frames().count(frame)); }

    PtyPeer peer;
    ScriptedModule module;
    RawChannel channel;
    std::atomic<bool> abort{false};
    ContentTransfer transfer{channel, abort};
};

QByteArray fetch(Line& l, ReplyKind* kind, bool* ok) {
    QByteArray data;
    l.transfer.sendStartRequest();
    *ok = l.transfer.FetchReply(*kind, data);
    return data;
}
} // namespace

// The reception of replies and the requests, byte for byte, against a scripted module.
class TransferTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void lineIsTakenOverExclusively() {
        Line l;
        const auto line = l.peer.lineState();
        QCOMPARE(line.baud, 115200);
        QCOMPARE(line.dataBits, 8);
        QCOMPARE(line.stopBits, 1);
        QVERIFY(!line.rtscts);
        RawChannel second;
        QVERIFY(!second.OpenRawPort(l.peer.path())); // ours while we hold it
        l.channel.close();
        QVERIFY2(second.OpenRawPort(l.peer.path()), qPrintable(second.errorString()));
    }

    void portNames_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("device");
        QTest::newRow("COM12") << "COM12"
                               << "/dev/ttyS11";
        QTest::newRow("COM2") << "COM2"
                              << "/dev/ttyS1";
    }
    void portNames() {
        QFETCH(QString, name);
        QFETCH(QString, device);
        QCOMPARE(RawChannel::deviceFor(name, nullptr), device);
    }

    void missingOrLockedPortDoesNotOpen() {
        RawChannel ch;
        QVERIFY(!ch.OpenRawPort("/dev/does-not-exist"));
        QVERIFY(!ch.errorString().isEmpty());
        PtyPeer peer;
        const int fd = ::open(peer.path().toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
        QVERIFY(::flock(fd, LOCK_EX | LOCK_NB) == 0); // another program holds it
        QVERIFY(!ch.OpenRawPort(peer.path()));
        ::close(fd);
        QVERIFY(ch.OpenRawPort(peer.path()));
    }

    void htmlInOneBlockWithChecksumRefused() {
        Line l;
        l.module.setBehaviour({true, false, false});
        l.module.reply("HTML\n", {"<p>one</p>"});
        l.module.reply("HTML\n", {"<p>two</p>"});
        ReplyKind kind;
        bool ok = false;
        QCOMPARE(fetch(l, &kind, &ok), QByteArray("<p>one</p>"));
        QVERIFY(ok);
        QCOMPARE(kind, ReplyKind::HTML);
        QVERIFY(!l.transfer.ReplyCrcOn);
        QCOMPARE(l.count("!4\r"), 1);
        QCOMPARE(fetch(l, &kind, &ok), QByteArray("<p>two</p>"));
        QCOMPARE(l.count("!4\r"), 1); // no checksum asked for any more
    }

    void threeBlocksWithChecksums() {
        Line l;
        l.module.reply("CSS\n", {"a{}", "b{}", "c{}"});
        ReplyKind kind;
        bool ok = false;
        QCOMPARE(fetch(l, &kind, &ok), QByteArray("a{}b{}c{}"));
        QVERIFY(ok);
        QCOMPARE(kind, ReplyKind::CSS);
        QCOMPARE(l.frames(), (QList<QByteArray>{"!A\r", "!4\r", "!N\r", "!4\r", "!N\r", "!4\r"}));
        QVERIFY(l.transfer.ReplyCrcOn); // every checksum matched, the first one with the header
    }

    void wrongChecksumAsksForTheRequestAgain() {
        Line l;
        l.module.setBehaviour({true, true, true});
        l.module.reply("HTML\n", {"x", "y"});
        ReplyKind kind;
        bool ok = false;
        QCOMPARE(fetch(l, &kind, &ok), QByteArray("RESEND"));
        QVERIFY(ok);
        QCOMPARE(kind, ReplyKind::CMD);
        QCOMPARE(l.count("!N\r"), 0);
    }

    void encodedContent_data() {
        QTest::addColumn<QByteArray>("header");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<int>("kind");
        // Fifth byte 0x20: two data bytes; the others of the group are dropped.
        QTest::newRow("gif, two bytes") << QByteArray("GIF4-5b\n") << QByteArray("ABCD\x20", 5)
                                        << QByteArray("AB") << int(ReplyKind::GIF);
        // ESC 0x7B stands for 0x04 and takes one place of the group.
        QTest::newRow("escaped EOT") << QByteArray("JPG4-5b\n")
                                     << QByteArray("\x1b\x7b"
                                                   "BCD\x10")
                                     << QByteArray("\x04", 1) << int(ReplyKind::JPG);
        QTest::newRow("nak decoded") << QByteArray("BMP4-5b\n") << QByteArray("\x15xyz\x10")
                                     << QByteArray("\x15") << int(ReplyKind::NAK);
    }
    void encodedContent() {
        QFETCH(QByteArray, header);
        QFETCH(QByteArray, content);
        QFETCH(QByteArray, data);
        QFETCH(int, kind);
        Line l;
        l.module.reply(header, {content});
        ReplyKind got;
        bool ok = false;
        QCOMPARE(fetch(l, &got, &ok), data);
        QVERIFY(ok);
        QCOMPARE(int(got), kind);
    }

    void localLinkNamesOurPort() {
        Line l;
        l.transfer.setServerPort(40123);
        l.module.reply("HTML\n", {"<a href=\"http://127.0.0.1/a\">", "http://127.0.0.1/b"});
        ReplyKind kind;
        bool ok = false;
        QCOMPARE(fetch(l, &kind, &ok),
                 QByteArray("<a href=\"http://127.0.0.1:40123/a\">http://127.0.0.1/b\r\n"));
    }

    void headerSplitByAPause() {
        // The module pauses in its header, then goes on where it stopped.
        Line l;
        l.module.setBehaviour({true, false, false});
        l.peer.queue("HT");
        ReplyKind kind;
        bool ok = true;
        QCOMPARE(fetch(l, &kind, &ok), QByteArray("HT"));
        QVERIFY(!ok);
        QCOMPARE(l.transfer.ReplyCarry, QByteArray("HT"));
        l.peer.queue("ML\n<p>x</p>\x04");
        QCOMPARE(fetch(l, &kind, &ok), QByteArray("<p>x</p>"));
        QVERIFY(ok);
        QCOMPARE(kind, ReplyKind::HTML);
        QVERIFY(l.transfer.ReplyCarry.isEmpty());
        // A module that starts its reply again is not understood.
        l.peer.queue("HT");
        fetch(l, &kind, &ok);
        l.peer.queue("HTML\n<p>x</p>\x04");
        QCOMPARE(fetch(l, &kind, &ok), QByteArray("HTHTML\n<p>x</p>"));
        QCOMPARE(kind, ReplyKind::NONE);
    }

    void fortyBlocksAtMost() {
        Line l;
        l.module.setBehaviour({true, false, false});
        QList<QByteArray> parts;
        for (int i = 0; i < 45; ++i)
            parts << QByteArray::number(i % 10);
        l.module.reply("JS\n", parts);
        ReplyKind kind;
        bool ok = false;
        QCOMPARE(fetch(l, &kind, &ok), QByteArray("0123456789012345678901234567890123456789"));
        QVERIFY(ok);
        QCOMPARE(l.count("!N\r"), 39);
    }

    void requestChecksum_data() {
        QTest::addColumn<int>("answer"); // -1 silence
        QTest::addColumn<int>("lines");
        QTest::addColumn<bool>("stillOn");
        QTest::newRow("ack") << int(ACK) << 1 << true;
        QTest::newRow("nak") << int(NAK) << 1 << false;
        QTest::newRow("silence") << -1 << 2 << false;
    }
    void requestChecksum() {
        QFETCH(int, answer);
        QFETCH(int, lines);
        QFETCH(bool, stillOn);
        PtyPeer peer;
        peer.setResponder([answer](const QByteArray& f) -> std::optional<PtyPeer::Reply> {
            if (f.startsWith("!C") && answer >= 0)
                return PtyPeer::Reply{QByteArray(1, char(answer))};
            return std::nullopt;
        });
        RawChannel ch;
        QVERIFY(ch.OpenRawPort(peer.path()));
        std::atomic<bool> abort{false};
        ContentTransfer t(ch, abort);
        t.sendDocumentRequest("a/b.gif?x=1");
        QVERIFY(peer.waitForFrames(lines + 1, 2000));
        const QByteArray line = "!C" + hex4(Link::CRC16("a/b.gif?x=1")) + "\r";
        QList<QByteArray> expected(lines, line);
        expected << "!Ba/b.gif?x=1\r";
        QCOMPARE(peer.frames(), expected);
        QCOMPARE(t.RequestCrcOn, stillOn);
        peer.clearReceived();
        t.sendDocumentRequest("x");
        QVERIFY(peer.waitForFrames(stillOn ? 2 : 1, 2000));
        QCOMPARE(peer.frames().last(), QByteArray("!Bx\r"));
        QCOMPARE(peer.frames().size(), stillOn ? 2 : 1);
    }

    void windowSize_data() {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("pauseMs");
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("two lines") << QByteArray("640\n480\n\x03") << 0 << QByteArray("640\n480\n");
        QTest::newRow("no ETX") << QByteArray("640\n480\n") << 0 << QByteArray();
        QTest::newRow("slow pieces") << QByteArray("640\n480\n\x03") << 700 << QByteArray();
    }
    void windowSize() {
        QFETCH(QByteArray, reply);
        QFETCH(int, pauseMs);
        QFETCH(QByteArray, text);
        Line l;
        // The reply comes in two pieces; the whole of it must come within a second.
        l.peer.send(reply.left(4), pauseMs);
        l.peer.send(reply.mid(4), 2 * pauseMs);
        QCOMPARE(l.transfer.exchangeWindowSize(), text);
        QCOMPARE(l.frames().value(0), QByteArray("!G\r"));
    }

    void closedChannelReceivesNothing() {
        Line l;
        l.channel.close();
        ReplyKind kind = ReplyKind::HTML;
        QByteArray data = "x";
        QVERIFY(!l.transfer.FetchReply(kind, data));
        QCOMPARE(kind, ReplyKind::NONE);
        QVERIFY(data.isEmpty());
    }
};

ORVEX_TEST(TransferTest)
#include "transfer.moc"
