// The module side of the page transfer: blocks, checksums, 4-in-5 pictures, WAIT and RESEND.
#include "SimTestLine.h"
#include "tests/support/TestMain.h"

#include "sim/SimCodec.h"

#include <QFile>
#include <QTemporaryDir>

namespace {

constexpr char EOT = 0x04, ETB = 0x17, ESC = 0x1B, ACK = 0x06, NAK = 0x15;

// 4-in-5 decoding written from the description of the format, apart from the encoder.
QByteArray decode4in5(const QByteArray& in) {
    QByteArray out;
    quint8 buf[4] = {0, 0, 0, 0};
    int c = 1;
    for (qsizetype i = 0; i < in.size(); ++i) {
        quint8 b = static_cast<quint8>(in[i]);
        if (b == ESC && i + 1 < in.size())
            b = static_cast<quint8>(in[++i]) ^ 127;
        if (c % 5 != 0) {
            buf[c % 5 - 1] = b;
        } else {
            for (int k = 0; k < 4; ++k)
                if (b & (8 >> k))
                    buf[k] |= 0x80;
            const int n = (b >> 4 & 3) == 0 ? 4 : (b >> 4 & 3);
            out.append(reinterpret_cast<const char*>(buf), n);
        }
        ++c;
    }
    return out;
}

struct Reply {
    QByteArray header;
    QByteArray content; // as sent, terminators removed
    int blocks = 0;
};

// Runs one request the way the program does: "!4" after each block, "!N" after each ETB.
Reply fetch(SimRig& rig, const QByteArray& request, QList<quint16>* sums = nullptr) {
    Reply r;
    QByteArray block = rig.command(request);
    for (;;) {
        ++r.blocks;
        if (r.header.isEmpty()) {
            r.header = block.left(block.indexOf('\n') + 1);
            block.remove(0, r.header.size());
        }
        if (sums) {
            const QByteArray answer = rig.command("4");
            bool ok = false;
            sums->append(static_cast<quint16>(answer.left(4).toUInt(&ok, 16)));
        }
        const char last = block.isEmpty() ? 0 : block.back();
        r.content += block.chopped(block.isEmpty() ? 0 : 1);
        if (last != ETB || r.blocks >= 40)
            return r;
        block = rig.command("N");
    }
}

QByteArray resource(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class SimPagesTest : public QObject {
    Q_OBJECT

    SimProfile m_demo = demoProfile();

    void selectOtx(SimRig& rig) { QCOMPARE(rig.select(1, 0), QByteArray(1, ACK)); }

private slots:
    void encoderGroups_data() {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QByteArray>("encoded");
        QTest::newRow("two bytes") << QByteArray("AB") << QByteArray("AB\0\0\x20", 5);
        QTest::newRow("top bits") << QByteArray("\x80\x01\x82\xff")
                                  << QByteArray("\0\x01\x02\x7f\x0b", 5);
        QTest::newRow("EOT escaped") << QByteArray("\x04") << QByteArray("\x1b\x7b\0\0\0\x10", 6);
        QTest::newRow("ETB and ESC")
            << QByteArray("\x17\x1b") << QByteArray("\x1b\x68\x1b\x64\0\0\x20", 7);
    }
    void encoderGroups() {
        QFETCH(QByteArray, data);
        QFETCH(QByteArray, encoded);
        QCOMPARE(SimCodec::encode4in5(data), encoded);
        QCOMPARE(decode4in5(encoded), data);
    }

    void windowSize() {
        SimRig rig(m_demo);
        selectOtx(rig);
        QCOMPARE(rig.command("G"), QByteArray("640\n520\n\x03"));
    }

    // Each picture of the demo pages arrives as the file it is, and in at most 40 blocks.
    void pictures_data() {
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<QByteArray>("header");
        QTest::newRow("gif") << QByteArray("logo.gif") << QByteArray("GIF4-5b\n");
        QTest::newRow("jpeg") << QByteArray("rack.jpg") << QByteArray("JPG4-5b\n");
    }
    void pictures() {
        QFETCH(QByteArray, path);
        QFETCH(QByteArray, header);
        SimRig rig(m_demo);
        selectOtx(rig);
        const Reply r = fetch(rig, "B" + path);
        QCOMPARE(r.header, header);
        QVERIFY(r.blocks > 1 && r.blocks < 40);
        QVERIFY(!r.content.contains(EOT) && !r.content.contains(ETB));
        const QByteArray file =
            resource(QStringLiteral(":/sim/pages/otx/") + QString::fromLatin1(path));
        QVERIFY(!file.isEmpty());
        QCOMPARE(decode4in5(r.content), file);
    }

    // A page of three blocks: the first checksum covers the header line, each covers the
    // block's bytes and its terminator.
    void threeBlocksWithChecksums() {
        QTemporaryDir dir;
        const QByteArray page = "<html><body>0123456789abcdefghijklmnopqrstuv</body></html>";
        QFile f(dir.filePath(QStringLiteral("index.html")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(page);
        f.close();
        SimRig rig(profileFrom(R"({"modules": [{"subrack": 1, "slot": 1, "type": "WEB",
            "marker": "HTML", "pages": {"folder": ".", "blockSize": 24}}]})",
                               dir.path()));
        rig.select(0, 0);
        QList<quint16> sums;
        const Reply r = fetch(rig, "A", &sums);
        QCOMPARE(r.blocks, 3);
        QCOMPARE(r.content, page);
        QCOMPARE(sums.size(), 3);
        QCOMPARE(sums.at(0), testCrc("HTML\n" + page.left(24) + ETB));
        QCOMPARE(sums.at(1), testCrc(page.mid(24, 24) + ETB));
        QCOMPARE(sums.at(2), testCrc(page.mid(48) + EOT));
        QCOMPARE(rig.command("N"), QByteArray()); // nothing after the last block
    }

    void requestChecksum() {
        SimRig rig(m_demo);
        selectOtx(rig);
        const QByteArray path = "style.css";
        QCOMPARE(rig.command("C" + SimCodec::hex4(testCrc(path))), QByteArray(1, ACK));
        QVERIFY(rig.command("B" + path).startsWith("CSS\n"));
        QCOMPARE(rig.command("C" + SimCodec::hex4(testCrc(path) ^ 1)), QByteArray(1, ACK));
        QCOMPARE(rig.command("B" + path), QByteArray("CMD\nRESEND\x04"));
        QCOMPARE(rig.command("Cxyz"), QByteArray(1, NAK));
    }

    void documents_data() {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("start");
        QTest::newRow("start page") << QByteArray("A") << QByteArray("HTML\n<html>");
        QTest::newRow("leading slashes") << QByteArray("B//index.html") << QByteArray("HTML\n");
        QTest::newRow("script") << QByteArray("Bscript.js") << QByteArray("JS\nfunction");
        QTest::newRow("missing") << QByteArray("Bnone.html") << QByteArray("\x15\n\x04");
        QTest::newRow("outside") << QByteArray("B../demo.json") << QByteArray("\x15\n\x04");
        QTest::newRow("form") << QByteArray("Bapply.cgi?p3=40&p4=0") << QByteArray("\x06\n\x04");
        QTest::newRow("form refused")
            << QByteArray("Bapply.cgi?p3=400") << QByteArray("\x15\nValue refused: p3=400\x04");
        QTest::newRow("form unknown") << QByteArray("Bapply.cgi?p9=0") << QByteArray("\x15\n");
    }
    void documents() {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, start);
        SimRig rig(m_demo);
        selectOtx(rig);
        QVERIFY2(rig.command(request).startsWith(start), request.constData());
    }

    void formReachesTheModule() {
        SimRig rig(m_demo);
        selectOtx(rig);
        rig.command("Bapply.cgi?p3=40");
        QCOMPARE(rig.headend.committedValue(1, 0, 3, 0), std::optional<int>(40));
        // The pages show the module's live values.
        QVERIFY(fetch(rig, "A").content.contains("<td class=\"v\">5.0 %</td>"));
    }

    // "WAIT" first, the page after a pause, without a reply checksum for the command.
    void waitCommand() {
        SimRig rig(m_demo);
        selectOtx(rig);
        rig.headend.feed("!Blinktest.html\r");
        QCOMPARE(rig.line.items.size(), 2);
        QCOMPARE(rig.line.items.at(0).first,
                 QByteArray("CMD\nWAIT 3\nMeasuring the optical link...\x04"));
        QVERIFY(rig.line.items.at(1).first.startsWith("HTML\n"));
        QVERIFY(rig.line.items.at(1).second > 0);
    }

    void blockChecksumFault() {
        SimRig rig(m_demo);
        selectOtx(rig);
        SimFaults f;
        f.badChecksums = 1;
        rig.headend.setFaults(1, 0, f);
        QList<quint16> sums;
        const Reply r = fetch(rig, "Bstyle.css", &sums);
        QVERIFY(sums.at(0) != testCrc(r.header + r.content.left(400) + (r.blocks > 1 ? ETB : EOT)));
    }
};

ORVEX_TEST(SimPagesTest)
#include "pages.moc"
