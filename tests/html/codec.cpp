#include "html/PageService.h"
#include "html/PagesCodec.h"
#include "html/PagesHttp.h"
#include "tests/support/TestMain.h"

#include <QtTest>

using namespace PagesCodec;
using namespace PagesHttp;
using Method = PageRequest::Method;

// The protocol's pure pieces: decoding, link rewriting, request lines, the window size
// reply, our own pages and the checks of a request before it may reach the line.
class CodecTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void decode_data() {
        QTest::addColumn<QByteArray>("in");
        QTest::addColumn<QByteArray>("out");
        QTest::newRow("four bytes, top bits") << QByteArray("abcd\x0a")
                                              << QByteArray("\xe1"
                                                            "b\xe3"
                                                            "d");
        QTest::newRow("count 3") << QByteArray("abcd\x30") << QByteArray("abc");
        QTest::newRow("escape takes one place") << QByteArray("\x1b\x7b"
                                                              "bcd\x1b\x4f")
                                                << QByteArray("\x04"
                                                              "bc",
                                                              3);
        QTest::newRow("escaped escape byte") << QByteArray("\x1b\x64"
                                                           "xyz\x10")
                                             << QByteArray("\x1b");
        QTest::newRow("two groups") << QByteArray("abcd\x00"
                                                  "efgh\x20",
                                                  10)
                                    << QByteArray("abcdef");
        QTest::newRow("incomplete group dropped") << QByteArray("abcd\x00"
                                                                "ef",
                                                                7)
                                                  << QByteArray("abcd");
        QTest::newRow("escape at the end") << QByteArray("\x1b") << QByteArray();
        QTest::newRow("empty") << QByteArray() << QByteArray();
    }
    void decode() {
        QFETCH(QByteArray, in);
        QFETCH(QByteArray, out);
        QCOMPARE(Decode4in5(in), out);
    }

    void headers_data() {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<int>("kind");
        QTest::addColumn<bool>("encoded");
        QTest::newRow("HTML") << QByteArray("HTML\n") << int(ReplyKind::HTML) << false;
        QTest::newRow("CSS") << QByteArray("CSS\n") << int(ReplyKind::CSS) << false;
        QTest::newRow("JS") << QByteArray("JS\n") << int(ReplyKind::JS) << false;
        QTest::newRow("GIF") << QByteArray("GIF4-5b\n") << int(ReplyKind::GIF) << true;
        QTest::newRow("JPG") << QByteArray("JPG4-5b\n") << int(ReplyKind::JPG) << true;
        QTest::newRow("BMP") << QByteArray("BMP4-5b\n") << int(ReplyKind::BMP) << true;
        QTest::newRow("OTHER") << QByteArray("OTHER\n") << int(ReplyKind::OTHER) << false;
        QTest::newRow("OTHER enc") << QByteArray("OTHER4-5b\n") << int(ReplyKind::OTHER) << true;
        QTest::newRow("CMD") << QByteArray("CMD\n") << int(ReplyKind::CMD) << false;
        QTest::newRow("ACK") << QByteArray("\x06\n") << int(ReplyKind::ACK) << false;
        QTest::newRow("NAK") << QByteArray("\x15\n") << int(ReplyKind::NAK) << false;
        QTest::newRow("CR LF") << QByteArray("HTML\r\n") << int(ReplyKind::NONE) << false;
        QTest::newRow("lower case") << QByteArray("html\n") << int(ReplyKind::NONE) << false;
        QTest::newRow("text before") << QByteArray("xHTML\n") << int(ReplyKind::NONE) << false;
    }
    void headers() {
        QFETCH(QByteArray, line);
        QFETCH(int, kind);
        QFETCH(bool, encoded);
        QCOMPARE(int(headerOf(line).kind), kind);
        QCOMPARE(headerOf(line).encoded, encoded);
    }

    void localLinks_data() {
        QTest::addColumn<QByteArray>("page");
        QTest::addColumn<QByteArray>("rewritten");
        QTest::newRow("two places")
            << QByteArray("<a href=http://127.0.0.1/x>http://127.0.0.1/y")
            << QByteArray("<a href=http://127.0.0.1:88/x>http://127.0.0.1/y\r\n");
        QTest::newRow("none") << QByteArray("<a href=\"http://127.0.0.2/\">\n")
                              << QByteArray("<a href=\"http://127.0.0.2/\">\n");
        QTest::newRow("with a port already")
            << QByteArray("http://127.0.0.1:80/") << QByteArray("http://127.0.0.1:80/");
    }
    void localLinks() {
        QFETCH(QByteArray, page);
        QFETCH(QByteArray, rewritten);
        QCOMPARE(rewriteLocalLink(page, 88), rewritten);
    }

    void requests_data() {
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<QByteArray>("query");
        QTest::addColumn<QByteArray>("frame");
        QTest::newRow("path and query")
            << QByteArray("/a/b.gif") << QByteArray("x=1") << QByteArray("!Ba/b.gif?x=1\r");
        QTest::newRow("double slash") << QByteArray("//x") << QByteArray() << QByteArray("!Bx\r");
        QTest::newRow("slashes only") << QByteArray("//") << QByteArray() << QByteArray("!B\r");
    }
    void requests() {
        QFETCH(QByteArray, path);
        QFETCH(QByteArray, query);
        QFETCH(QByteArray, frame);
        QCOMPARE(documentRequest(documentText(path, query)), frame);
    }

    void checksumLine() {
        // CRC-16/MODBUS of "123456789" is 0x4B37.
        QCOMPARE(requestChecksumLine("123456789"), QByteArray("!C4B37\r"));
        QCOMPARE(requestChecksumLine(""), QByteArray("!CFFFF\r"));
    }

    void windowSize_data() {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("result");
        QTest::addColumn<int>("w");
        QTest::addColumn<int>("h");
        QTest::newRow("LF lines") << QByteArray("640\n480\n") << int(SizeResult::Ok) << 640 << 480;
        QTest::newRow("last without LF")
            << QByteArray("640\n480") << int(SizeResult::Ok) << 640 << 480;
        QTest::newRow("more lines")
            << QByteArray("800\n600\nx\n") << int(SizeResult::Ok) << 800 << 600;
        QTest::newRow("CR LF") << QByteArray("640\r\n480\r\n") << int(SizeResult::InvalidData) << -1
                               << -1;
        QTest::newRow("one line") << QByteArray("640\n") << int(SizeResult::InvalidResponse) << 0
                                  << 0;
        QTest::newRow("nothing") << QByteArray() << int(SizeResult::NoResponse) << 0 << 0;
        QTest::newRow("zero") << QByteArray("0\n480\n") << int(SizeResult::InvalidData) << 0 << 480;
        QTest::newRow("text") << QByteArray("640\nabc\n") << int(SizeResult::InvalidData) << 640
                              << -1;
    }
    void windowSize() {
        QFETCH(QByteArray, reply);
        QFETCH(int, result);
        QFETCH(int, w);
        QFETCH(int, h);
        int width = 0, height = 0;
        QCOMPARE(int(parseWindowSize(reply, &width, &height)), result);
        QCOMPARE(width, w);
        QCOMPARE(height, h);
    }

    void ownPages() {
        QCOMPARE(noResponsePage("/a/b.gif", "x=1").body,
                 QByteArray("<HTML><BODY><B>Error: No response.</B><BR><BR><INPUT TYPE=button "
                            "value=\"Retry\" onClick=\"window.open('/a/b.gif?x=1','_self');\"> "
                            "</BODY></HTML>"));
        // An address cannot end the script string or the attribute it stands in.
        const QByteArray evil = noResponsePage("/x');alert(\"1", "a='b").body;
        QVERIFY(evil.contains("window.open('/x%27);alert(%221?a=%27b','_self')"));
        QCOMPARE(refusalPage().body,
                 QByteArray("<HTML><BODY>Error: Module does not support this command. "
                            "</BODY></HTML>"));
        QCOMPARE(invalidDataPage().body, QByteArray("<HTML><BODY><FONT COLOR=RED><B>Error:</B>"
                                                    "Invalid data arrived</FONT></BODY></HTML>"));
        QCOMPARE(busyTimeoutPage().body, QByteArray("Timeout"));
        QCOMPARE(busyTimeoutPage().contentType, QByteArray("text/plain"));
    }

    void parameterText_data() {
        QTest::addColumn<int>("method");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QByteArray>("query");
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("get") << int(Method::Get) << QByteArray("ignored") << QByteArray("x=1")
                             << QByteArray("x=1");
        QTest::newRow("post") << int(Method::Post) << QByteArray("p1=2") << QByteArray()
                              << QByteArray("p1=2");
        QTest::newRow("post and query") << int(Method::Post) << QByteArray("p1=2")
                                        << QByteArray("x=1") << QByteArray("p1=2\r\nx=1");
    }
    void parameterText() {
        QFETCH(int, method);
        QFETCH(QByteArray, body);
        QFETCH(QByteArray, query);
        QFETCH(QByteArray, text);
        QCOMPARE(PagesHttp::parameterText(Method(method), body, query), text);
    }

    void vetting_data() {
        QTest::addColumn<QByteArray>("host");
        QTest::addColumn<QByteArray>("origin");
        QTest::addColumn<QByteArray>("site");
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<QByteArray>("params");
        QTest::addColumn<int>("status");
        const QByteArray self = "127.0.0.1:4321";
        QTest::newRow("ours") << self << QByteArray("http://127.0.0.1:4321")
                              << QByteArray("same-origin") << QByteArray("/a.gif")
                              << QByteArray("x=1") << 0;
        QTest::newRow("typed in") << self << QByteArray() << QByteArray("none") << QByteArray("/")
                                  << QByteArray() << 0;
        QTest::newRow("other host") << QByteArray("evil.example:4321") << QByteArray()
                                    << QByteArray() << QByteArray("/") << QByteArray() << 403;
        QTest::newRow("localhost name") << QByteArray("localhost:4321") << QByteArray()
                                        << QByteArray() << QByteArray("/") << QByteArray() << 403;
        QTest::newRow("other port") << QByteArray("127.0.0.1:88") << QByteArray() << QByteArray()
                                    << QByteArray("/") << QByteArray() << 403;
        QTest::newRow("no host") << QByteArray() << QByteArray() << QByteArray() << QByteArray("/")
                                 << QByteArray() << 403;
        QTest::newRow("other origin") << self << QByteArray("http://evil.example") << QByteArray()
                                      << QByteArray("/apply.cgi") << QByteArray() << 403;
        QTest::newRow("cross site") << self << QByteArray() << QByteArray("cross-site")
                                    << QByteArray("/apply.cgi") << QByteArray() << 403;
        QTest::newRow("same site") << self << QByteArray() << QByteArray("same-site")
                                   << QByteArray("/apply.cgi") << QByteArray() << 403;
        QTest::newRow("CR in path")
            << self << QByteArray() << QByteArray() << QByteArray("/a\rb") << QByteArray() << 400;
        QTest::newRow("NUL in path") << self << QByteArray() << QByteArray()
                                     << QByteArray("/a\0b", 4) << QByteArray() << 400;
        QTest::newRow("LF in params") << self << QByteArray() << QByteArray() << QByteArray("/a")
                                      << QByteArray("x=1\ny=2") << 400;
        QTest::newRow("post with query") << self << QByteArray() << QByteArray() << QByteArray("/a")
                                         << QByteArray("p=1\r\nx=1") << 400;
        QTest::newRow("at the limit")
            << self << QByteArray() << QByteArray() << "/" + QByteArray(MaxDocumentText, 'a')
            << QByteArray() << 0;
        QTest::newRow("too long") << self << QByteArray() << QByteArray() << QByteArray("/a")
                                  << QByteArray(MaxDocumentText, 'x') << 414;
    }
    void vetting() {
        QFETCH(QByteArray, host);
        QFETCH(QByteArray, origin);
        QFETCH(QByteArray, site);
        QFETCH(QByteArray, path);
        QFETCH(QByteArray, params);
        QFETCH(int, status);
        const PageRequest request{Method::Get, path, params};
        QCOMPARE(vet({host, origin, site}, 4321, request).status, status);
    }

    void waitCommand_data() {
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<int>("seconds");
        QTest::addColumn<QString>("text");
        QTest::newRow("ten") << QByteArray("WAIT 10") << 10 << "Please wait...";
        QTest::newRow("no number") << QByteArray("WAIT") << 1 << "Please wait...";
        QTest::newRow("not a number") << QByteArray("WAIT x5") << 1 << "Please wait...";
        QTest::newRow("with text")
            << QByteArray("WAIT:3s\nMeasuring\nmore") << 3 << "Measuring\nmore";
        QTest::newRow("long text") << "WAIT 2\n" + QByteArray(300, 'x') << 2 << QString(255, 'x');
        QTest::newRow("huge") << QByteArray("WAIT 99999999999999") << 9999 << "Please wait...";
    }
    void waitCommand() {
        QFETCH(QByteArray, command);
        QFETCH(int, seconds);
        QFETCH(QString, text);
        QCOMPARE(PageService::waitSeconds(command), seconds);
        QCOMPARE(PageService::waitText(command), text);
    }
};

ORVEX_TEST(CodecTest)
#include "codec.moc"
