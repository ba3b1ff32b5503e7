// The module console on the link's port: opening and closing bytes, keys paced by SYN.
#include "link/ConsoleSession.h"
#include "tests/support/LinkFixture.h"
#include "tests/support/TestMain.h"

#include <QtTest>

class ConsoleTest : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<LinkFixture> f;

private Q_SLOTS:
    void init() {
        f = std::make_unique<LinkFixture>();
        QVERIFY(f->link->OpenLink());
    }
    void cleanup() { f.reset(); }

    void keysGoWhenAsked() {
        ConsoleSession console(*f->link, f->state, f->host);
        QList<QByteArray> shown;
        connect(&console, &ConsoleSession::text, this, [&](const QByteArray& t) { shown << t; });
        console.open();
        QVERIFY(f->state.TerminalMode);
        console.type('a');
        console.type(ConsoleLeft);
        bool eot = false;
        // SYN together with text is no request; it is only taken out of the text.
        QCOMPARE(console.received("x\x16y", &eot), QByteArray("xy"));
        QCOMPARE(console.received("\x16", &eot), QByteArray());
        QCOMPARE(console.received("\x16", &eot), QByteArray());
        QCOMPARE(console.received("\x16", &eot), QByteArray()); // nothing left to send
        QVERIFY(!eot);
        // The module asked while nothing was pending: the next key goes at once, the one
        // after it waits for the next request.
        console.type('z');
        console.type('q');
        QCOMPARE(console.received("bye\x04", &eot), QByteArray("bye\x04"));
        QVERIFY(eot);
        QVERIFY(QTest::qWaitFor([&] { return f->peer.frames().size() >= 5; }, 2000));
        QCOMPARE(f->peer.received(), QByteArray("9\ra\x1cz"));
        QCOMPARE(console.keys().pending(), 1);

        // What arrives on the port is reported without its SYN; read late, the module's SYN
        // after its output still asks for the next key.
        f->peer.send("hello\x16");
        QVERIFY(QTest::qWaitFor([&] { return !shown.isEmpty(); }, 2000));
        QCOMPARE(shown.join(), QByteArray("hello"));
        QVERIFY(QTest::qWaitFor([&] { return f->peer.received().endsWith('q'); }, 2000));

        console.close();
        QVERIFY(f->peer.waitForFrames(7, 2000)); // close() flushed the port
        QVERIFY(f->peer.received().endsWith("\x03\r"));
        QVERIFY(!f->link->ComPort().isOpen());
        QVERIFY(f->state.ReloadRequest);
        QCOMPARE(f->link->ComPort().eventMask(), SerialPort::EventMask::RxFlag);
    }
};

ORVEX_TEST(ConsoleTest)
#include "console.moc"
