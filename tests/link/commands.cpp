#include "tests/support/LinkFixture.h"
#include "tests/support/TestMain.h"

#include <QtTest>

namespace {
const QByteArray kAck("\x06");

QByteArray specReply(const QByteArray& text) {
    const QByteArray withR = text + 'R';
    return withR + QByteArray::number(Link::CRC16(withR), 16).toUpper().rightJustified(4, '0') +
           "\r";
}
} // namespace

// Every byte the module commands put on the line, against a scripted peer.
class CommandsTest : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<LinkFixture> f;
    QByteArray frames() const {
        QByteArrayList out;
        for (const QByteArray& fr : f->peer.frames())
            out << LinkFixture::hex(fr);
        return out.join(" | ");
    }

private Q_SLOTS:
    void init() {
        f = std::make_unique<LinkFixture>();
        QVERIFY(f->link->OpenLink());
        f->link->ReplyTimeout = 80;
    }
    void cleanup() { f.reset(); }

    void selectFrames() {
        f->peer.setResponder([](const QByteArray&) { return PtyPeer::Reply{kAck}; });
        QVERIFY(f->link->SelectModule(1, 2));
        QVERIFY(f->link->SelectModule(0, 16));
        QCOMPARE(frames(), QByteArray("21 C1 82 | 21 C1 82 | 21 C0 90 | 21 C0 90"));
    }

    void selectMajority_data() {
        QTest::addColumn<QString>("answers");
        QTest::addColumn<bool>("result");
        QTest::addColumn<int>("sent");
        QTest::newRow("two of three") << "a-a" << true << 3;
        QTest::newRow("one of three") << "a--" << false << 3;
        QTest::newRow("late majority") << "-aa" << true << 3;
        QTest::newRow("twice in a row") << "aa" << true << 2;
        QTest::newRow("never") << "--" << false << 2;
    }
    void selectMajority() {
        QFETCH(QString, answers);
        for (QChar c : answers)
            f->peer.queue(c == 'a' ? kAck : QByteArray());
        QTEST(f->link->SelectModule(0, 4), "result");
        QTEST(int(f->peer.frames().size()), "sent");
    }

    void valueWrites() {
        f->peer.setResponder([](const QByteArray&) { return PtyPeer::Reply{kAck}; });
        QVERIFY(f->link->WriteValue(3, 120));
        QVERIFY(f->link->WriteValue(90, 0));
        QVERIFY(f->link->ResetModuleType());
        QVERIFY(f->link->WriteValue(1, -5));
        QCOMPARE(frames(), QByteArray("21 35 33 0A 31 32 30 0D | 21 35 5A 0A 30 0D | "
                                      "21 35 5A 0A 30 0D | 21 35 31 0A 2D 35 0D"));
        QVERIFY(!f->state.ReloadRequest);
    }

    void failedWriteAsksForAReload() {
        QVERIFY(!f->link->WriteValue(2, 7));
        QVERIFY(f->state.ReloadRequest);
        QVERIFY(f->state.SkipInfoReload);
        QVERIFY(!f->link->LinkBusy);
    }

    void writeWhileAnotherWaitsSendsNothing() {
        f->peer.queue(kAck, 300);
        f->link->ReplyTimeout = 2000;
        bool second = true;
        QTimer::singleShot(50, [&] { second = f->link->WriteValue(4, 1); });
        QVERIFY(f->link->WriteValue(3, 120));
        QVERIFY(!second);
        QCOMPARE(f->peer.frames().size(), 1);
    }

    void commitWhileBusyIsRearmed() {
        TModule& m = f->modules.renew(2, 0);
        m.Dirty = true;
        f->link->LinkBusy = true;
        QVERIFY(!f->link->CommitEEPROM(2, 0));
        QCOMPARE(f->host.rearmCount, 1);
        QVERIFY(m.Dirty);
        QVERIFY(f->peer.frames().isEmpty());
        f->link->LinkBusy = false;
        QVERIFY(!f->link->CommitEEPROM(2, 0)); // unanswered: Dirty is cleared all the same
        QVERIFY(!m.Dirty);
        QCOMPARE(frames(), QByteArray("21 36 0D"));
    }

    void defaults_data() {
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("writes"); // parameter:value, or ">" for the defaults command
        QTest::addColumn<bool>("reload");
        QTest::newRow("kx350A") << "kx350A"
                                << "0:0 9:0 1:47 3:2 8:0 0:1 1:48 3:2 8:0 0:0" << true;
        QTest::newRow("kx350B") << "kx350B-2"
                                << "0:0 9:0 1:47 3:0 8:0 0:1 1:48 3:0 8:0 0:0" << true;
        QTest::newRow("kx350C") << "kx350C"
                                << "0:0 9:0 1:47 3:0 8:1 0:1 1:48 3:0 8:1 0:0" << true;
        QTest::newRow("kx350 other variant") << "kx350X"
                                             << "" << false;
        QTest::newRow("kx350 no variant") << "kx350"
                                          << "" << false;
        QTest::newRow("other family") << "QAM-4"
                                      << "> > >" << false;
    }
    void defaults() {
        QFETCH(QString, type);
        QFETCH(QString, writes);
        f->peer.setResponder([](const QByteArray&) { return PtyPeer::Reply{kAck}; });
        f->modules.renew(5, 1).TypeName = type;
        f->link->LoadDefaults(5, 1);
        QList<QByteArray> expected;
        for (const QString& w : writes.split(' ', Qt::SkipEmptyParts))
            expected << (w == ">" ? QByteArray("!>\r")
                                  : "!5" + w.section(':', 0, 0).toLatin1() + "\n" +
                                        w.section(':', 1).toLatin1() + "\r");
        QCOMPARE(f->peer.frames(), expected);
        QTEST(f->state.ReloadRequest && f->state.SkipInfoReload, "reload");
    }

    void defaultsStopAtTheFirstSilence() {
        f->peer.queue(kAck);
        f->modules.renew(0, 0).TypeName = "AMP-860";
        f->link->LoadDefaults(0, 0);
        QCOMPARE(frames(), QByteArray("21 3E 0D | 21 3E 0D"));
    }

    void readersAndTheirFailureLines() {
        TModule& m = f->modules.renew(3, 0);
        m.Messages << "old";
        m.ErrorCount = 4;
        QVERIFY(!f->link->ReadInfoBlock(3, 0)); // reset first, then unanswered
        QCOMPARE(m.ErrorCount, 0);
        QVERIFY(m.Messages.isEmpty());
        QCOMPARE(f->link->ReplyTimeout, 2000);
        f->link->ReplyTimeout = 80;
        QVERIFY(!f->link->ReadValues(3, 0));
        QVERIFY(!f->link->ReadExtDiag(3, 0));
        QVERIFY(!f->link->ReadMessages(3, 0));
        QCOMPARE(m.Messages,
                 QStringList({" ", "Error loading parameters values", " ", "No extended diagnostic",
                              " ", "No additional messages"}));
        QCOMPARE(m.ErrorCount, 3);
        QVERIFY(!f->link->ReadHtmlMarker(3, 0));
        QCOMPARE(f->link->ReplyTimeout, 80);
        f->peer.queue("V2.10\n\x03");
        QVERIFY(f->link->ReadVersion(3, 0));
        QCOMPARE(m.VersionText, QString("V2.10"));
        QCOMPARE(frames(), QByteArray("21 30 0D | 21 32 0D | 21 3A 0D | 21 3C 0D | 21 24 0D | "
                                      "21 3B 0D"));
    }

    void crc() {
        QCOMPARE(Link::CRC16("123456789"), quint16(0x4B37));
        QCOMPARE(Link::CRC16("123456789", 0), quint16(0xFFFF));
    }

    void specialFrame() {
        f->peer.queue(specReply("0300"));
        QCOMPARE(f->link->SendSpecCmd("03"), QString::fromLatin1(specReply("0300")));
        const QByteArray s("03R");
        const QByteArray crc =
            QByteArray::number(Link::CRC16(s), 16).toUpper().rightJustified(4, '0');
        QCOMPARE(f->peer.frames().value(0), "!03R" + crc + "\n\r");
    }

    void specialReplies_data() {
        QTest::addColumn<QByteArrayList>("pieces");
        QTest::addColumn<QString>("result");
        const QByteArray good = specReply("05AABBCCDD");
        QTest::newRow("three pieces") << QByteArrayList{good.left(3), good.mid(3, 5), good.mid(8)}
                                      << QString::fromLatin1(good);
        QByteArray lower = good;
        lower.replace(lower.indexOf('R') + 1, 4, lower.mid(lower.indexOf('R') + 1, 4).toLower());
        QTest::newRow("lower-case digits") << QByteArrayList{lower} << QString::fromLatin1(lower);
        QByteArray wrong = good;
        wrong[1] = '6';
        QTest::newRow("wrong checksum") << QByteArrayList{wrong} << "-1";
        QTest::newRow("no CR") << QByteArrayList{"05R1234"} << "-2";
        QTest::newRow("no R, not hex") << QByteArrayList{"xyz0\r"} << "-3";
        QTest::newRow("short digits") << QByteArrayList{"05R12\r"} << "-3";
    }
    void specialReplies() {
        QFETCH(QByteArrayList, pieces);
        f->peer.queue({});
        for (int i = 0; i < pieces.size(); ++i)
            f->peer.send(pieces[i], 50 + 100 * i);
        QTEST(f->link->SendSpecCmd("05"), "result");
    }
};

ORVEX_TEST(CommandsTest)
#include "commands.moc"
