// The communications window's two lists, and the port under the transaction: where the
// terminator is looked for, and special commands on a port that is not open.
#include "link/ui/CommDialog.h"
#include "tests/support/LinkFixture.h"

#include "tests/support/TestMain.h"
#include <QComboBox>
#include <QLineEdit>

#include <QtTest>

namespace {
void type(QComboBox* box, const QString& text) {
    box->lineEdit()->clear();
    QTest::keyClicks(box->lineEdit(), text);
    QTest::keyClick(box->lineEdit(), Qt::Key_Return);
}
} // namespace

class CommTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // The time-out list takes only its own entries; the port list takes a terminal server's
    // name, remembers it and makes it the port; the port in use picked again changes nothing.
    void communicationsWindow() {
        LinkFixture f;
        f.link->ComPort().setPortName("DEMO");
        int exits = 0;
        TCfrm dialog(nullptr, *f.link, f.host, [&] { ++exits; });
        dialog.FormShow();
        type(dialog.cbScanTime, "75");
        QCOMPARE(dialog.cbScanTime->count(), 6);
        dialog.btCloseClick();
        QCOMPARE(f.link->ScanTimeout, 50);

        dialog.cbComPortChange(dialog.cbComPort->findText("DEMO"));
        type(dialog.cbComPort, "nonsense");
        QCOMPARE(exits, 0);
        QVERIFY(f.host.messages.isEmpty());
        type(dialog.cbComPort, "tcp://no-port-given");
        QCOMPARE(exits, 0);
        QCOMPARE(f.host.errorFlags, QList<bool>{true});
        type(dialog.cbComPort, "rfc2217://10.1.2.3:4001");
        QCOMPARE(exits, 1);
        QCOMPARE(f.host.messages.last(), QString("The program must be restarted."));

        // The next start offers it beside the machine's ports.
        ModuleTable modules;
        SharedState state;
        Link next(modules, state, f.host);
        next.LoadPortSettings();
        QCOMPARE(next.ComPort().portName(), QString("rfc2217://10.1.2.3:4001"));
        next.ComPort().setPortName("DEMO");
        TCfrm later(nullptr, next, f.host, [] {});
        later.FormShow();
        QVERIFY(later.cbComPort->findText("rfc2217://10.1.2.3:4001") >= 0);
        QCOMPARE(later.cbComPort->currentText(), QString("DEMO"));
    }

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

ORVEX_TEST(CommTest)
#include "comm.moc"
