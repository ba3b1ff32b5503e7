// Serving browser requests from a scripted module through the local HTTP server, with a real
// HTTP client: what goes on the line, the response, and what the window would show.
#include "html/PagesHttp.h"
#include "tests/html/PagesRig.h"
#include "tests/support/Expect.h"
#include "tests/support/TestMain.h"

#include <QTcpServer>
#include <QtTest>

using namespace PagesHttp;

namespace {
const PagesChecksums kNoChecksums{false, false};

// The page requests on the line, without the checksum exchanges around them.
QByteArray pageRequests(const PtyPeer& peer) {
    QByteArrayList out;
    for (const QByteArray& frame : peer.frames())
        if (frame.startsWith("!A") || frame.startsWith("!B"))
            out << frame;
    return out.join(' ');
}

struct Scripted {
    PtyPeer peer;
    ScriptedModule module{peer, kNoChecksums};
};
// The pages engine with its server on a scripted module.
struct Served : Scripted, ServedPages {
    explicit Served(quint16 preferredPort = 88) : ServedPages(peer.path(), preferredPort) {}
};
} // namespace

class ServeTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Replies that never give the page, to a request sent three times ("": silence): the
    // browser gets one of our own pages instead. (Pages and uploads the module gives, and the
    // start page clearing "Loading...": robust.PagesTest, on the simulator.)
    void ourOwnPages_data() {
        QTest::addColumn<QByteArrayList>("script");
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<QByteArray>("page");
        QTest::addColumn<QStringList>("status");
        const auto row = [](const char* name, const QByteArrayList& script, const char* path,
                            const QByteArray& page, const QStringList& status) {
            QTest::newRow(name) << script << QByteArray(path) << page << status;
        };
        const QString noResponse = "Error: No response. (red)";
        const QByteArray resend = "CMD\nRESEND\x04";
        row("silent: the retry page", QByteArrayList(3, QByteArray()), "/a/b.gif",
            noResponsePage("/a/b.gif", "x=1").body, {noResponse});
        // Still no reply of the module: the browser is told so instead of an empty page.
        row("silence, then RESEND twice", {"", resend, resend}, "/x.html", invalidDataPage().body,
            {});
        // The module's NAK header comes, then nothing: it refuses without saying more.
        row("refusal cut short", QByteArrayList(3, "\x15\n"), "/apply.cgi", refusalPage().body,
            QStringList(3, noResponse));
    }
    void ourOwnPages() {
        QFETCH(QByteArrayList, script);
        QFETCH(QByteArray, path);
        Served s;
        for (const QByteArray& reply : script)
            s.module.reply(reply);
        QNetworkReply* r = s.get(path + "?x=1");
        QFETCH(QByteArray, page);
        EXPECT_BYTES(s.body(r), page);
        EXPECT_BYTES(r->rawHeader("Content-Type"), "text/html");
        const QByteArray request = "!B" + path.mid(1) + "?x=1\r";
        EXPECT_BYTES(pageRequests(s.peer), QByteArrayList(3, request).join(' '));
        QTEST(s.status, "status");
        QCOMPARE(s.refusals, QStringList());
    }

    // WAIT opens the box (the reply that ends it, unasked: robust.PagesTest and the window's
    // test); without that reply the request goes again once the wait has run out.
    void waitCommand() {
        Served s;
        s.module.reply("CMD\nWAIT\x04"); // one second
        s.module.reply("HTML\nagain\x04");
        EXPECT_BYTES(s.body(s.get("/w.html")), "again");
        EXPECT_BYTES(pageRequests(s.peer), "!Bw.html\r !Bw.html\r");
        QCOMPARE(s.waits, QStringList{"1 Please wait..."});
        QCOMPARE(s.closed, 1);
    }

    // Requests a browser would not send, written by hand: the status they get, and what
    // reached the line (the one page request, or nothing at all).
    void requestsAsWritten_data() {
        QTest::addColumn<QByteArray>("request"); // "HOST" stands for the server's address
        QTest::addColumn<QByteArray>("status");  // empty: closed unanswered
        QTest::addColumn<QByteArray>("frame");
        const QByteArray end = "Host: HOST\r\n\r\n", get = "GET / HTTP/1.1\r\n";
        const auto row = [](const char* name, const QByteArray& request, const char* status,
                            const QByteArray& frame = {}) {
            QTest::newRow(name) << request << QByteArray(status) << frame;
        };
        row("CR LF in the path", "GET /index.html%0D%0A!A HTTP/1.1\r\n" + end, " 400");
        // The query is passed on as the browser encoded it: "%00" is three harmless bytes.
        row("NUL in the query", "GET /a.gif?x=%00 HTTP/1.1\r\n" + end, " 200", "!Ba.gif?x=%00\r");
        row("path starting with //", "GET //x HTTP/1.1\r\n" + end, " 200", "!Bx\r");
        // Another name: refused (the other rows of the vetting: vetting below; a tunnel's port:
        // robust.PagesTest's form).
        row("other name", get + "Host: evil.example\r\n\r\n", " 403");
        row("LF in the body", "POST /a HTTP/1.1\r\nContent-Length: 7\r\n" + end + "x=1\ny=2",
            " 400");
        const QByteArray longest = "/" + QByteArray(MaxDocumentText, 'a');
        row("at the limit", "GET " + longest + " HTTP/1.1\r\n" + end, " 200",
            "!B" + longest.mid(1) + "\r");
        row("too long", "GET " + longest + "?x HTTP/1.1\r\n" + end, " 414");
        const QByteArray form = "POST /apply.cgi HTTP/1.1\r\nContent-Length: ";
        row("longest body", form + "500\r\n" + end + QByteArray(500, 'x'), " 200",
            "!Bapply.cgi?" + QByteArray(500, 'x') + "\r");
        row("body too long", form + "501\r\n" + end + QByteArray(501, 'x'), " 413");
        row("body too long for its path",
            "POST /" + QByteArray(20, 'a') + " HTTP/1.1\r\nContent-Length: 500\r\n" + end +
                QByteArray(500, 'x'),
            " 413");
        row("put", "PUT /a HTTP/1.1\r\n" + end, " 405");
        row("post and query",
            "POST /apply.cgi?x=1 HTTP/1.1\r\nContent-Length: 4\r\n" + end + "p1=1", " 400");
        row("2 GB body",
            "POST /apply.cgi HTTP/1.1\r\nContent-Length: 2147483648\r\n" + end + "p1=1", " 413");
        row("endless headers", get + "X-Pad: " + QByteArray(20000, 'a') + "\r\n" + end, " 431");
        row("idle connection", get, "");
    }
    void requestsAsWritten() {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, status);
        QFETCH(QByteArray, frame);
        Served s;
        s.module.reply("GIF4-5b\nabcd\x10\x04");
        Client c;
        c.request =
            request.replace("HOST", "127.0.0.1:" + QByteArray::number(s.pages.serverPort()));
        c.start(s.pages.serverPort());
        QVERIFY(runUntil([&] { return c.done; }, 20000));
        EXPECT_STARTS(c.raw, status.isEmpty() ? status : "HTTP/1.1" + status);
        QCOMPARE(c.raw.isEmpty(), status.isEmpty());
        if (frame.isEmpty())
            EXPECT_BYTES(s.peer.received(), "");
        else
            EXPECT_BYTES(pageRequests(s.peer), frame);
    }

    // Where a request comes from, as its headers tell: Host, Origin, Referer and
    // Sec-Fetch-Site ("-": none); status 0: served.
    void vetting_data() {
        QTest::addColumn<QByteArray>("headers");
        QTest::addColumn<int>("status");
        const auto row = [](const char* name, const char* headers, int status) {
            QTest::newRow(name) << QByteArray(headers) << status;
        };
        row("a tunnel's port", "127.0.0.1:8871 - - -", 0);
        row("localhost", "LocalHost:8871 - - -", 0);
        row("localhost., no port", "localhost. - - -", 0);
        row("127/8", "127.3.2.1:88 - - -", 0);
        row("[::1]", "[::1]:8871 - - -", 0);
        row("another name (rebinding)", "evil.example:88 - - -", 403);
        row("below localhost", "x.localhost:88 - - -", 403);
        row("another address", "10.0.0.1:88 - - -", 403);
        row("unbracketed IPv6", "::1 - - -", 403);
        row("no port after the colon", "localhost: - - -", 403);
        row("none", "- - - -", 403);
        row("ours, all told",
            "localhost:8871 http://localhost:8871 http://localhost:8871/a.html same-origin", 0);
        row("typed in", "localhost:8871 - - none", 0);
        row("another loopback origin", "localhost:8871 http://127.0.0.1:8871 - -", 403);
        row("foreign referer alone", "localhost:8871 - http://evil.example/a -", 403);
        row("foreign referer, same origin told",
            "localhost:8871 - http://evil.example/ same-origin", 403);
        row("referer on a longer port", "localhost:8871 - http://localhost:88710/ -", 403);
        row("same site", "localhost:8871 - - same-site", 403);
    }
    void vetting() {
        QFETCH(QByteArray, headers);
        QByteArrayList h = headers.split(' ');
        for (QByteArray& value : h)
            value = value == "-" ? QByteArray() : value;
        const PageRequest request{PageRequest::Method::Get, "/a.gif", {}};
        QTEST(vet({h[0], h[1], h[3], h[2]}, request).status, "status");
    }

    // A request that finds the line busy for too long gets "Timeout" and never reaches the
    // module. (One request at a time on the line: robust.PagesTest, with a burst.)
    void busyLine() {
        Served s;
        s.module.reply("CMD\nWAIT 30\x04");
        QNetworkReply* slow = s.get("/slow.gif");
        QVERIFY(runUntil([&] { return s.pages.RequestBusy(); }));
        EXPECT_BYTES(s.body(s.get("/3.gif")), "Timeout");
        EXPECT_HAS(s.status, "Error: Time Out.");
        s.peer.send("GIF4-5b\nabcd\x10\x04");
        EXPECT_BYTES(s.body(slow), "a");
        EXPECT_BYTES(pageRequests(s.peer), "!Bslow.gif\r");
    }
};

ORVEX_TEST(ServeTest)
#include "serve.moc"
