// The raw channel and the reception of replies, byte for byte, against a scripted module.
#include "tests/html/PagesRig.h"
#include "tests/support/Expect.h"
#include "tests/support/TestMain.h"

#include <QtTest>
#include <sys/file.h>

using namespace PagesCodec;

namespace {
struct Line : PagesLine {
    using PagesLine::PagesLine;
    // One reply as "KIND data", or "KIND (timed out) data".
    QByteArray fetch() {
        ReplyKind kind = ReplyKind::NONE;
        QByteArray data;
        const bool done = transfer.FetchReply(kind, data);
        return kindName(kind) + QByteArray(done ? " " : " (timed out) ") + data;
    }
    QByteArray frames() const { return peer.frames().join(' '); }
};
} // namespace

class TransferTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // 115200 8N1, and the line is ours while we hold it.
    void lineIsTakenOverExclusively() {
        Line l;
        QCOMPARE(PtyPeer::text(l.peer.lineState()), "115200 8N1");
        RawChannel second;
        QVERIFY(!second.OpenRawPort(l.peer.path()));
        l.channel.close();
        QVERIFY2(second.OpenRawPort(l.peer.path()), qPrintable(second.errorString()));
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

    // Two start pages, the first in two blocks, as the module treats reply checksums: given
    // (only the first covers the header), refused (none asked for in this window any more),
    // or given after we stopped waiting, in front of the next block, where it must not
    // land in the page. A wrong one: robust.PagesTest, on the simulator.
    void replyChecksum_data() {
        QTest::addColumn<bool>("gives");
        QTest::addColumn<bool>("late");
        QTest::addColumn<QByteArray>("frames");
        QTest::newRow("given") << true << false << QByteArray("!A\r !4\r !N\r !4\r !A\r !4\r");
        QTest::newRow("refused") << false << false << QByteArray("!A\r !4\r !N\r !A\r");
        QTest::newRow("late") << true << true << QByteArray("!A\r !4\r !N\r !A\r");
    }
    void replyChecksum() {
        QFETCH(bool, gives);
        QFETCH(bool, late);
        Line l({true, gives, late});
        l.module.reply("HTML\nx\x17y\x04");
        l.module.reply("HTML\ntwo\x04");
        QByteArrayList got;
        for (int i = 0; i < 2; ++i) {
            l.transfer.sendStartRequest();
            got << l.fetch();
        }
        EXPECT_BYTES(got.join(" | "), "HTML xy | HTML two");
        QFETCH(QByteArray, frames);
        EXPECT_BYTES(l.frames(), frames);
    }

    // The request checksum line answered in turn: taken, refused, unanswered twice, or its
    // first answer late (after the line went again), so that the answer to the second line
    // comes in front of the reply and must not spoil it.
    void requestChecksum_data() {
        QTest::addColumn<QByteArrayList>("answers");
        QTest::addColumn<bool>("stillOn");
        QTest::newRow("ack") << QByteArrayList{"\x06"} << true;
        QTest::newRow("nak") << QByteArrayList{"\x15"} << false;
        QTest::newRow("silence") << QByteArrayList{"", ""} << false;
        QTest::newRow("late ack") << QByteArrayList{"", "\x06\x06"} << true;
        QTest::newRow("late nak") << QByteArrayList{"", "\x15\x15"} << false;
    }
    void requestChecksum() {
        QFETCH(QByteArrayList, answers);
        Line l;
        l.transfer.ReplyCrcOn = false;
        for (const QByteArray& answer : answers)
            l.peer.queue(answer);
        l.module.reply("HTML\n<p>page</p>\x04");
        l.transfer.sendDocumentRequest("a/b.gif?x=1");
        EXPECT_BYTES(l.fetch(), "HTML <p>page</p>");
        const QByteArray line = "!C" + Protocol::crcText(Protocol::CRC16("a/b.gif?x=1")) + "\r";
        EXPECT_BYTES(l.frames(),
                     (QByteArrayList(answers.size(), line) << "!Ba/b.gif?x=1\r").join(' '));
        QTEST(l.transfer.RequestCrcOn, "stillOn");
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
        Line l;
        l.peer.queue(reply);
        QFETCH(QByteArray, text);
        EXPECT_BYTES(l.transfer.exchangeWindowSize(), text);
        QVERIFY(l.peer.waitForFrames(1));
        EXPECT_BYTES(l.frames(), "!G\r");
    }
};

ORVEX_TEST(TransferTest)
#include "transfer.moc"
