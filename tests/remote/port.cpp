// The port under the transaction: where the terminator is looked for, and special commands
// on a port that is not open.
#include "tests/support/LinkFixture.h"
#include "tests/support/TestMain.h"

#include <QtTest>

class PortTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // The terminator is reported wherever bytes come in: taken in by a wait for bytes (no
    // event served), and dropped because the receive queue is full.
    void terminatorWhereverBytesComeIn_data() {
        QTest::addColumn<int>("queued");
        QTest::newRow("taken in by a wait") << 0;
        QTest::newRow("dropped at the full queue") << 65536;
    }
    void terminatorWhereverBytesComeIn() {
        QFETCH(int, queued);
        LinkFixture f;
        QVERIFY(f.link->OpenLink());
        SerialPort& port = f.link->ComPort();
        port.setEventChar(Link::ETX);
        QSignalSpy flag(&port, &SerialPort::rxFlag);
        for (int sent = 0; sent < queued; sent += 1024) {
            f.peer.send(QByteArray(1024, 'x'));
            while (port.bytesWaiting() < sent + 1024)
                QVERIFY(port.waitForBytes(2000));
        }
        f.peer.send("ab\x03");
        for (int tries = 0; tries < 100 && flag.isEmpty(); ++tries)
            port.waitForBytes(20);
        QCOMPARE(flag.size(), 1);
        QCOMPARE(port.bytesWaiting(), queued ? queued : 3);
    }

    // Special commands go to a port that is open already; a closed one is not opened.
    void specialCommandOnAClosedPort() {
        LinkFixture f;
        QVERIFY(f.link->OpenLink());
        f.link->closePort();
        QCOMPARE(f.link->SendSpecCmd("03"), QString("-2"));
        QVERIFY(!f.link->ComPort().isOpen());
        QVERIFY(f.peer.received().isEmpty());
    }
};

ORVEX_TEST(PortTest)
#include "port.moc"
