#include "tests/support/LinkFixture.h"
#include "tests/support/TestMain.h"

#include <QFile>
#include <QtTest>

// The command transaction and the port settings, against a scripted peer.
class TransactionTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void fileCannotChangeTheLine() {
        LinkFixture f;
        {
            QSettings ini("OXLCom.ini", QSettings::IniFormat);
            ini.setValue("ComPort/BaudRate", "9600");
            ini.setValue("ComPort/Parity", "None");
            ini.setValue("ComPort/StopBits", "1");
        }
        QVERIFY2(f.link->OpenLink(), qPrintable(f.link->ComPort().errorString()));
        const auto line = f.peer.lineState();
        QCOMPARE(line.baud, 115200);
        QCOMPARE(line.dataBits, 8);
        // A pseudo-terminal cannot carry parity; the port was asked for even parity.
        QCOMPARE(f.link->ComPort().settings().Parity, QString("Even"));
        QCOMPARE(line.stopBits, 2);
        QVERIFY(!line.rtscts);
        f.link->StorePortSettings();
        QSettings ini("OXLCom.ini", QSettings::IniFormat);
        QCOMPARE(ini.value("ComPort/BaudRate").toString(), QString("115200"));
        QCOMPARE(ini.value("ComPort/Parity").toString(), QString("Even"));
        QCOMPARE(ini.value("ComPort/StopBits").toString(), QString("2"));
        QCOMPARE(ini.value("ComPort/Port").toString(), f.peer.path());
    }

    void missingPortNameMeansCom1() {
        LinkFixture f;
        QFile::remove("OXLCom.ini");
        f.link->OpenLink();
        QCOMPARE(f.link->ComPort().portName(), QString("COM1"));
        QCOMPARE(SerialPort::devicePath("COM1"), QString("/dev/ttyS0"));
        QCOMPARE(SerialPort::devicePath("com12"), QString("/dev/ttyS11"));
        QCOMPARE(SerialPort::devicePath("ttyUSB0"), QString("/dev/ttyUSB0"));
        QVERIFY(SerialPort::availablePorts().contains("DEMO"));
    }

    void replyIsEverythingQueuedAtTheTerminator() {
        LinkFixture f;
        QVERIFY(f.link->OpenLink());
        f.peer.queue(QByteArray("\x02"
                                "abc\x03"
                                "def"));
        f.link->ReplyTimeout = 2000;
        QVERIFY(f.link->SendCommand(Link::ETX, "0"));
        QCOMPARE(f.link->RxCount, 8);
        QCOMPARE(f.link->RxBuffer.left(8), QByteArray("\x02"
                                                      "abc\x03"
                                                      "def"));
        QCOMPARE(f.peer.frames(), QList<QByteArray>{QByteArray("!0\r")});
    }

    void unansweredFrameLeavesTheBufferAlone() {
        LinkFixture f;
        QVERIFY(f.link->OpenLink());
        f.peer.queue("\x06");
        f.link->ReplyTimeout = 2000;
        QVERIFY(f.link->SendCommand(Link::ACK, QByteArray(1, char(0xC1)), char(0x82)));
        QCOMPARE(LinkFixture::hex(f.peer.frames().value(0)), QByteArray("21 C1 82"));
        f.link->ReplyTimeout = 80;
        f.link->LinkBusy = true;
        QVERIFY(!f.link->SendCommand(Link::ETX, "1"));
        QCOMPARE(f.link->RxCount, 1);
        QCOMPARE(f.link->RxBuffer.at(0), Link::ACK);
        QVERIFY(!f.link->LinkBusy); // the end of any transaction clears it
        // Two frames in a row without an answer: the second waits afresh and fails alike.
        QVERIFY(!f.link->SendCommand(Link::ETX, "1"));
        QCOMPARE(f.peer.frames().size(), 3);
    }

    void lateReplyIsReadInFrontOfTheNext() {
        LinkFixture f;
        QVERIFY(f.link->OpenLink());
        f.peer.queue("late\x03", 300);
        f.peer.queue("next\x03");
        f.link->ReplyTimeout = 80;
        QVERIFY(!f.link->SendCommand(Link::ETX, "1"));
        QTest::qWait(400); // the late reply arrives while nobody waits
        f.link->ReplyTimeout = 2000;
        QVERIFY(f.link->SendCommand(Link::ETX, "2"));
        QCOMPARE(f.link->RxBuffer.left(f.link->RxCount), QByteArray("late\x03"
                                                                    "next\x03"));
    }

    void unusableTimeoutStillEnds() {
        LinkFixture f;
        QVERIFY(f.link->OpenLink());
        f.link->ReplyTimeout = 0;
        QCOMPARE(f.link->effectiveTimeout(), Link::DefaultScanTimeout);
        QVERIFY(!f.link->SendCommand(Link::ETX, "1"));
        f.link->ReplyTimeout = -5;
        QVERIFY(!f.link->SendCommand(Link::ETX, "1"));
    }

    void portThatCannotOpenRaises() {
        LinkFixture f;
        LinkFixture::writePort("/dev/does-not-exist");
        QVERIFY(!f.link->OpenLink());
        QVERIFY_THROWS_EXCEPTION(PortError, f.link->SendCommand(Link::ETX, "1"));
    }

    void lostPortEndsTheWait() {
        LinkFixture f;
        QVERIFY(f.link->OpenLink());
        QSignalSpy lost(f.link.get(), &Link::portLost);
        f.link->ReplyTimeout = 5000;
        QTimer::singleShot(100, [&] { f.peer.hangUp(); });
        QVERIFY_THROWS_EXCEPTION(PortError, f.link->SendCommand(Link::ETX, "1"));
        QCOMPARE(lost.size(), 1);
        QVERIFY(!f.link->ComPort().isOpen());
    }
};

ORVEX_TEST(TransactionTest)
#include "transaction.moc"
