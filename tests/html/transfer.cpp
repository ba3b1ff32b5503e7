// The raw channel and the reception of replies, byte for byte, against a scripted module.
#include "tests/html/ScriptedModule.h"
#include "tests/support/Expect.h"
#include "tests/support/TestMain.h"

#include <QtTest>
#include <sys/file.h>

using namespace PagesCodec;

namespace {
struct Line : PagesLine {
    using PagesLine::PagesLine;
    QByteArray fetch(ReplyKind* kind = nullptr, bool* ok = nullptr) {
        QByteArray data;
        ReplyKind k = ReplyKind::NONE;
        transfer.sendStartRequest();
        const bool done = transfer.FetchReply(k, data);
        if (kind)
            *kind = k;
        if (ok)
            *ok = done;
        return data;
    }
    QByteArray frames() const { return peer.frames().join(' '); }
};
const ScriptedModule::Behaviour kNoReplyCrc{true, false, false};
} // namespace

class TransferTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // 115200 8N1, and the line is ours while we hold it.
    void lineIsTakenOverExclusively() {
        Line l;
        const auto line = l.peer.lineState();
        QCOMPARE(line.baud, 115200);
        QCOMPARE(line.dataBits, 8);
        QCOMPARE(line.stopBits, 1);
        QVERIFY(!line.rtscts);
        RawChannel second;
        QVERIFY(!second.OpenRawPort(l.peer.path()));
        l.channel.close();
        QVERIFY2(second.OpenRawPort(l.peer.path()), qPrintable(second.errorString()));
        QCOMPARE(RawChannel::deviceFor("COM12", nullptr), QString("/dev/ttyS11"));
        RawChannel ch;
        QVERIFY(!ch.OpenRawPort("/dev/does-not-exist"));
        QVERIFY(!ch.errorString().isEmpty());
        // Locked by another program.
        second.close();
        const int fd = ::open(l.peer.path().toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
        QVERIFY(::flock(fd, LOCK_EX | LOCK_NB) == 0);
        QVERIFY(!ch.OpenRawPort(l.peer.path()));
        ::close(fd);
        QVERIFY(ch.OpenRawPort(l.peer.path()));
    }

    void oneBlockWithChecksumRefused() {
        Line l(kNoReplyCrc);
        l.module.reply("HTML\n", {"<p>one</p>"});
        l.module.reply("HTML\n", {"<p>two</p>"});
        ReplyKind kind;
        bool ok = false;
        EXPECT_BYTES(l.fetch(&kind, &ok), "<p>one</p>");
        QVERIFY(ok);
        QCOMPARE(kind, ReplyKind::HTML);
        QVERIFY(!l.transfer.ReplyCrcOn);
        EXPECT_BYTES(l.fetch(), "<p>two</p>");
        EXPECT_BYTES(l.frames(), "!A\r !4\r !A\r"); // no checksum asked for any more
    }

    void wrongChecksumAsksForTheRequestAgain() {
        Line l({true, true, true});
        l.module.reply("HTML\n", {"x", "y"});
        ReplyKind kind;
        bool ok = false;
        EXPECT_BYTES(l.fetch(&kind, &ok), "RESEND");
        QVERIFY(ok);
        QCOMPARE(kind, ReplyKind::CMD);
        EXPECT_BYTES(l.frames(), "!A\r !4\r");
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
        Line l;
        l.peer.setResponder([answer](const QByteArray& f) -> std::optional<PtyPeer::Reply> {
            if (f.startsWith("!C") && answer >= 0)
                return PtyPeer::Reply{QByteArray(1, char(answer))};
            return std::nullopt;
        });
        l.transfer.sendDocumentRequest("a/b.gif?x=1");
        QVERIFY(l.peer.waitForFrames(lines + 1));
        const QByteArray line = "!C" + hex4(Link::CRC16("a/b.gif?x=1")) + "\r";
        EXPECT_BYTES(l.frames(), (QByteArrayList(lines, line) << "!Ba/b.gif?x=1\r").join(' '));
        QCOMPARE(l.transfer.RequestCrcOn, stillOn);
        l.peer.clearReceived();
        l.transfer.sendDocumentRequest("x");
        QVERIFY(l.peer.waitForFrames(stillOn ? 2 : 1));
        EXPECT_ENDS(l.frames(), "!Bx\r");
        QCOMPARE(l.peer.frames().size(), stillOn ? 2 : 1);
    }

    // The size reply is read once "!G" is out; without its ETX it counts as none. The peer
    // answers when it has read "!G"; the frames are looked at once it has (an event, not a
    // clock: a loaded machine may run the peer's reader late).
    void windowSize_data() {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("two lines") << QByteArray("640\n480\n\x03") << QByteArray("640\n480\n");
        QTest::newRow("no ETX") << QByteArray("640\n480\n") << QByteArray();
    }
    void windowSize() {
        QFETCH(QByteArray, reply);
        QFETCH(QByteArray, text);
        Line l;
        l.peer.queue(reply);
        EXPECT_BYTES(l.transfer.exchangeWindowSize(), text);
        QVERIFY(l.peer.waitForFrames(1));
        EXPECT_BYTES(l.frames(), "!G\r");
    }
};

ORVEX_TEST(TransferTest)
#include "transfer.moc"
