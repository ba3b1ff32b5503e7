// The line under the transaction: the telnet and com-port codec of the RFC 2217 client, byte
// for byte, and where the port looks for the terminator.
#include "link/Telnet.h"
#include "tests/support/LinkFixture.h"
#include "tests/support/TestMain.h"

#include <QtTest>

namespace {
QByteArray hex(const char* text) {
    return QByteArray::fromHex(text);
}
// What ser2net sends on a new telnet connection with the com-port option.
const QByteArray kServerGreeting = hex("fffb03fffd03fffb01fffe01fffd00fffb00fffd2c");
} // namespace

class LineTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void encoding_data() {
        using namespace Telnet;
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("data, IAC doubled") << escape(hex("61ff62ff")) << hex("61ffff62ffff");
        QTest::newRow("greeting") << greeting() << hex("fffb00fffd00fffb03fffd03fffb2c");
        QTest::newRow("115200 baud")
            << comPort(SetBaudRate, baudValue(115200)) << hex("fffa2c010001c200fff0");
        QTest::newRow("baud with IAC in it")
            << comPort(SetBaudRate, baudValue(0xff00)) << hex("fffa2c010000ffff00fff0");
        QTest::newRow("even parity") << comPort(SetParity, ParityEven) << hex("fffa2c0303fff0");
        QTest::newRow("break on") << comPort(SetControl, BreakOn) << hex("fffa2c0505fff0");
        QTest::newRow("purge both") << comPort(PurgeData, PurgeBoth) << hex("fffa2c0c03fff0");
        QTest::newRow("byte 255 as command") << comPort(0xff, 1) << hex("fffa2cffff01fff0");
    }
    void encoding() {
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, expected);
        QCOMPARE(bytes.toHex(' '), expected.toHex(' '));
    }

    // The same stream cut anywhere gives the same data and events.
    void decoding_data() {
        QTest::addColumn<int>("piece");
        for (const int n : {1, 2, 3, 5, 64})
            QTest::addRow("pieces of %d", n) << n;
    }
    void decoding() {
        QFETCH(int, piece);
        // An overlong subnegotiation in the middle is dropped whole.
        const QByteArray stream = kServerGreeting + hex("fffa2c650001c200fff0") +
                                  hex("6162ffff63") + hex("fffa2c") + QByteArray(600, 'x') +
                                  hex("fff0fffa2c6a00ffff01fff0") + hex("fff164");
        using namespace Telnet;
        Decoder d;
        QByteArray data;
        QList<Event> events;
        for (qsizetype i = 0; i < stream.size(); i += piece)
            data += d.feed(stream.mid(i, piece), &events);
        QCOMPARE(data.toHex(' '), QByteArray("61 62 ff 63 64"));
        const QList<Event> expected{{WILL, 3, {}},
                                    {DO, 3, {}},
                                    {WILL, 1, {}},
                                    {DONT, 1, {}},
                                    {DO, 0, {}},
                                    {WILL, 0, {}},
                                    {DO, ComPort, {}},
                                    {SB, ComPort, hex("650001c200")},
                                    {SB, ComPort, hex("6a00ff01")}};
        QCOMPARE(events, expected);
    }

    // The client's answers: its own offers are acknowledged silently, what it does not take is
    // refused, nothing is answered twice.
    void answers_data() {
        QTest::addColumn<QByteArray>("heard"); // verb, option pairs from the server
        QTest::addColumn<QByteArray>("said");
        QTest::addColumn<int>("comPort"); // 1 agreed, -1 refused, 0 not yet answered
        QTest::newRow("ser2net's greeting")
            << hex("fb03fd03fb01fe01fd00fb00fd2c") << hex("fffe01") << 1;
        QTest::newRow("asked twice, answered never") << hex("fd00fd00") << QByteArray() << 0;
        QTest::newRow("unknown option offered") << hex("fb18") << hex("fffe18") << 0;
        QTest::newRow("unknown option asked for") << hex("fd18") << hex("fffc18") << 0;
        QTest::newRow("agreed, then withdrawn") << hex("fb00fc00") << hex("fffe00") << 0;
        QTest::newRow("com-port refused") << hex("fe2c") << QByteArray() << -1;
    }
    void answers() {
        QFETCH(QByteArray, heard);
        QFETCH(QByteArray, said);
        QFETCH(int, comPort);
        Telnet::Options o;
        o.offered();
        QByteArray answered;
        for (qsizetype i = 0; i + 1 < heard.size(); i += 2)
            answered += o.answer(quint8(heard[i]), quint8(heard[i + 1]));
        QCOMPARE(answered.toHex(' '), said.toHex(' '));
        QCOMPARE(o.comPortAgreed(), comPort == 1);
        QCOMPARE(o.comPortRefused(), comPort == -1);
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
        port.setEventChar(Ascii::ETX);
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
};

ORVEX_TEST(LineTest)
#include "line.moc"
