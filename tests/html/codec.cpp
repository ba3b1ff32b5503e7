// The pages protocol's pure pieces: decoding, reply headers, link rewriting, request lines,
// the window size reply and our own error page. The checks of a request before it may reach
// the line: serve.ServeTest::requestsAsWritten.
#include "html/PageService.h"
#include "html/PagesCodec.h"
#include "html/PagesHttp.h"
#include "tests/support/Expect.h"
#include "tests/support/TestMain.h"

#include <QtTest>

using namespace PagesCodec;
using namespace PagesHttp;

class CodecTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void decode_data() {
        QTest::addColumn<QByteArray>("in");
        QTest::addColumn<QByteArray>("out");
        // In hexadecimal: the fifth byte of a group carries the top bits and the count.
        QTest::newRow("four bytes, top bits")
            << QByteArray::fromHex("616263640a") << QByteArray::fromHex("e162e364");
        QTest::newRow("escape takes one place")
            << QByteArray::fromHex("1b7b6263641b4f") << QByteArray::fromHex("046263");
    }
    void decode() {
        QFETCH(QByteArray, in);
        QFETCH(QByteArray, out);
        EXPECT_BYTES(Decode4in5(in), out);
    }

    // Only the first local link of a line, without a port, is sent to our server. (Request
    // lines as they reach the line, and their checksums: transfer.TransferTest and
    // serve.ServeTest.)
    void localLinks() {
        QCOMPARE(rewriteLocalLink("<a href=http://127.0.0.1/x>http://127.0.0.1/y", 88),
                 QByteArray("<a href=http://127.0.0.1:88/x>http://127.0.0.1/y\r\n"));
        QCOMPARE(rewriteLocalLink("http://127.0.0.1:80/", 88), QByteArray("http://127.0.0.1:80/"));
        QCOMPARE(rewriteLocalLink("<a href=\"http://127.0.0.2/\">\n", 88),
                 QByteArray("<a href=\"http://127.0.0.2/\">\n"));
    }

    void windowSize_data() {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("result");
        QTest::addColumn<int>("w");
        QTest::addColumn<int>("h");
        const int ok = int(SizeResult::Ok), bad = int(SizeResult::InvalidData);
        QTest::newRow("LF lines") << QByteArray("640\n480\n") << ok << 640 << 480;
        QTest::newRow("CR LF") << QByteArray("640\r\n480\r\n") << bad << -1 << -1;
        QTest::newRow("one line") << QByteArray("640\n") << int(SizeResult::InvalidResponse) << 0
                                  << 0;
        QTest::newRow("nothing") << QByteArray() << int(SizeResult::NoResponse) << 0 << 0;
        QTest::newRow("zero") << QByteArray("0\n480\n") << bad << 0 << 480;
    }
    void windowSize() {
        QFETCH(QByteArray, reply);
        int width = 0, height = 0;
        QTEST(int(parseWindowSize(reply, &width, &height)), "result");
        QTEST(width, "w");
        QTEST(height, "h");
    }

    // Our retry page: an address cannot end the script string or the attribute it stands in.
    void noResponsePage() {
        EXPECT_HAS(PagesHttp::noResponsePage("/x');alert(\"1", "a='b").body,
                   "window.open('/x%27);alert(%221?a=%27b','_self')");
    }

    void waitCommand_data() {
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<int>("seconds");
        QTest::addColumn<QString>("text");
        QTest::newRow("with text")
            << QByteArray("WAIT:3s\nMeasuring\nmore") << 3 << "Measuring\nmore";
        QTest::newRow("long text") << "WAIT 2\n" + QByteArray(300, 'x') << 2 << QString(255, 'x');
    }
    void waitCommand() {
        QFETCH(QByteArray, command);
        QTEST(PageService::waitSeconds(command), "seconds");
        QTEST(PageService::waitText(command), "text");
    }
};

ORVEX_TEST(CodecTest)
#include "codec.moc"
