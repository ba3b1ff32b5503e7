// Serving browser requests from a scripted module: what goes on the line, the response, the
// window effects; then the same through the local HTTP server with a real HTTP client.
#include "html/ModulePages.h"
#include "html/PageService.h"
#include "tests/html/ScriptedModule.h"
#include "tests/support/EventLoop.h"
#include "tests/support/Expect.h"
#include "tests/support/TestMain.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

using namespace PagesHttp;
using Tone = PageEffects::Tone;

namespace {
const ScriptedModule::Behaviour kNoChecksums{false, false, false};

struct Recorder : PageEffects {
    void ShowPageStatus(const QString& text, Tone tone) override {
        status << text + (tone == Tone::Red ? " (red)" : tone == Tone::Green ? " (green)" : "");
    }
    void openWaitBox(int seconds, const QString& text) override {
        waits << QString::number(seconds) + " " + text;
        if (onWait)
            onWait();
    }
    void closeWaitBox() override { ++closed; }
    void showRefusal(const QString& text) override { refusals << text; }
    QStringList status, waits, refusals;
    int closed = 0;
    std::function<void()> onWait;
};

// The page requests on the line, without the checksum exchanges around them.
QByteArray pageRequests(const PtyPeer& peer) {
    QByteArrayList out;
    for (const QByteArray& frame : peer.frames())
        if (frame.startsWith("!A") || frame.startsWith("!B"))
            out << frame;
    return out.join(' ');
}

// The request handling of one module, called as the server's worker calls it.
struct Module : PagesLine {
    Module() : PagesLine(kNoChecksums) {
        // This module takes no request checksums (its first "!C" would turn them off): none
        // asked for, so that a late NAK of a starved peer cannot fall into a reply.
        transfer.RequestCrcOn = false;
    }
    PageResponse get(const QByteArray& path, const QByteArray& params = {}) {
        return service.serve({PageRequest::Method::Get, path, params});
    }
    QByteArray requests() const { return pageRequests(peer); }
    Recorder effects;
    PageService service{channel, transfer, effects, abort};
};

// The pages engine with its server, and a real HTTP client.
struct Served {
    Served() : module(peer, kNoChecksums) {
        QString error;
        if (!pages.OpenRawPort(peer.path()) || !pages.startServer(&error))
            qFatal("pages: %s %s", qPrintable(pages.errorString()), qPrintable(error));
        QObject::connect(&pages, &ModulePages::pageStatus,
                         [this](const QString& t, Tone) { status << t; });
    }
    QUrl url(const QString& path) const { return QUrl(pages.startAddress() + path.mid(1)); }
    QNetworkReply* get(const QString& path) { return net.get(QNetworkRequest(url(path))); }
    static bool finish(QNetworkReply* r) {
        return runUntil([r] { return r->isFinished(); }, 20000);
    }
    // A request written by hand, for what a browser would not send; the response's head
    // (empty when the server closes the connection unanswered).
    QByteArray raw(const QByteArray& request) {
        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, pages.serverPort());
        runUntil([&] { return s.state() == QAbstractSocket::ConnectedState; });
        s.write(request);
        QByteArray answer;
        runUntil(
            [&] {
                answer += s.readAll();
                return answer.contains("\r\n\r\n") ||
                       s.state() == QAbstractSocket::UnconnectedState;
            },
            20000);
        return answer;
    }
    PtyPeer peer;
    ScriptedModule module;
    ModulePages pages;
    QNetworkAccessManager net;
    QStringList status;
};
} // namespace

class ServeTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // A script of replies ("silence", "raw:" bytes, or header "|" content) for one request.
    void serve_data() {
        QTest::addColumn<QStringList>("script");
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<QByteArray>("body"); // "retry", "invalid", "refusal": our own pages
        QTest::addColumn<QByteArray>("type");
        QTest::addColumn<int>("sends");
        QTest::addColumn<QStringList>("status");
        const QStringList none, noResponse{"Error: No response. (red)"};
        const auto row = [](const char* name, const QStringList& script, const char* path,
                            const char* body, const char* type, int sends,
                            const QStringList& status) {
            QTest::newRow(name) << script << QByteArray(path) << QByteArray(body)
                                << QByteArray(type) << sends << status;
        };
        // "Loading..." is cleared by the start page only.
        row("start page", {"HTML\n|<p>start</p>"}, "/", "<p>start</p>", "text/html", 1, {""});
        row("silent: the retry page", {"silence", "silence", "silence"}, "/a/b.gif", "retry", "", 3,
            noResponse);
        row("RESEND thrice", {"CMD\n|RESEND", "CMD\n|RESEND", "CMD\n|RESEND"}, "/x.html", "invalid",
            "", 3, none);
        // Still no reply of the module: the browser is told so instead of an empty page.
        row("silence, then RESEND twice", {"silence", "CMD\n|RESEND", "CMD\n|RESEND"}, "/x.html",
            "invalid", "", 3, none);
        row("accepted upload", {"\x06\n|"}, "/apply.cgi", "", "text/plain", 1,
            {"Uploaded (green)"});
        row("refusal with text", {"\x15\n|Value refused: p1=99"}, "/apply.cgi",
            "Value refused: p1=99", "text/plain", 1, none);
        // The module's NAK header comes, then nothing: it refuses without saying more.
        row("refusal cut short", {"raw:\x15\n", "raw:\x15\n", "raw:\x15\n"}, "/apply.cgi",
            "refusal", "", 3, QStringList(3, noResponse[0]));
    }
    void serve() {
        QFETCH(QStringList, script);
        QFETCH(QByteArray, path);
        QFETCH(QByteArray, body);
        Module m;
        for (const QString& step : script) {
            const QByteArray s = step.toLatin1();
            if (s == "silence")
                m.module.silence();
            else if (s.startsWith("raw:"))
                m.module.rawReply(s.mid(4));
            else
                m.module.reply(s.left(s.indexOf('|')), {s.mid(s.indexOf('|') + 1)});
        }
        const PageResponse r = m.get(path, "x=1");
        const QByteArray own = body == "retry"     ? noResponsePage(path, "x=1").body
                               : body == "invalid" ? invalidDataPage().body
                               : body == "refusal" ? refusalPage().body
                                                   : body;
        EXPECT_BYTES(r.body, own);
        QFETCH(QByteArray, type);
        QCOMPARE(r.contentType,
                 own == body ? type : QByteArray("text/html")); // ours: "" in the table
        QFETCH(int, sends);
        const QByteArray request = path == "/" ? "!A\r" : "!B" + path.mid(1) + "?x=1\r";
        EXPECT_BYTES(m.requests(), QByteArrayList(sends, request).join(' '));
        QTEST(m.effects.status, "status");
        QCOMPARE(m.effects.refusals, body.startsWith("Value") ? QStringList{body} : QStringList{});
    }

    // WAIT opens the box until the real reply comes, unasked; without it the request goes
    // again once the wait has run out.
    void waitCommand() {
        Module m;
        m.module.reply("CMD\n", {"WAIT 10\nMeasuring"});
        m.effects.onWait = [&] { m.peer.send("HTML\n<p>done</p>\x04"); };
        EXPECT_BYTES(m.get("/link.html").body, "<p>done</p>");
        QCOMPARE(m.effects.waits, QStringList{"10 Measuring"});
        QCOMPARE(m.effects.status, QStringList{"Please wait..."});
        QCOMPARE(m.effects.closed, 1);
        EXPECT_BYTES(m.requests(), "!Blink.html\r");
        Module again;
        again.module.reply("CMD\n", {"WAIT"}); // one second
        again.module.reply("HTML\n", {"again"});
        EXPECT_BYTES(again.get("/w.html").body, "again");
        EXPECT_BYTES(again.requests(), "!Bw.html\r !Bw.html\r");
        QCOMPARE(again.effects.waits, QStringList{"1 Please wait..."});
        QCOMPARE(again.effects.closed, 1);
    }

    // Port 88 or the one asked for taken: another.
    void takenPortGivesAnother() {
        QTcpServer holder;
        QVERIFY(holder.listen(QHostAddress::LocalHost, 0));
        PtyPeer peer;
        ModulePages other;
        QVERIFY(other.OpenRawPort(peer.path()));
        QString error;
        QVERIFY(other.startServer(&error, holder.serverPort()));
        QVERIFY(other.serverPort() != 0 && other.serverPort() != holder.serverPort());
        QCOMPARE(other.startAddress(), QString("http://127.0.0.1:%1/").arg(other.serverPort()));
    }

    // Requests a browser would not send, written by hand: the status they get, and what
    // reached the line (the one page request, or nothing at all).
    void requestsAsWritten_data() {
        QTest::addColumn<QByteArray>("request"); // "HOST" stands for the server's address
        QTest::addColumn<QByteArray>("status");  // empty: closed unanswered
        QTest::addColumn<QByteArray>("frame");
        const QByteArray end = "Host: HOST\r\n\r\n", get = "GET / HTTP/1.1\r\n";
        const auto row = [](const char* name, const QByteArray& request, const char* status,
                            const char* frame = "") {
            QTest::newRow(name) << request << QByteArray(status) << QByteArray(frame);
        };
        row("CR in the path", "GET /a%0Db.gif HTTP/1.1\r\n" + end, " 400");
        row("CR LF in the path", "GET /index.html%0D%0A!A HTTP/1.1\r\n" + end, " 400");
        // The query is passed on as the browser encoded it: "%00" is three harmless bytes.
        row("NUL in the query", "GET /a.gif?x=%00 HTTP/1.1\r\n" + end, " 200", "!Ba.gif?x=%00\r");
        row("path starting with //", "GET //x HTTP/1.1\r\n" + end, " 200", "!Bx\r");
        row("other host", get + "Host: evil.example\r\n\r\n", " 403");
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
        s.module.reply("GIF4-5b\n", {"abcd\x10"});
        const QByteArray answer =
            s.raw(request.replace("HOST", "127.0.0.1:" + QByteArray::number(s.pages.serverPort())));
        EXPECT_STARTS(answer, status.isEmpty() ? status : "HTTP/1.1" + status);
        QCOMPARE(answer.isEmpty(), status.isEmpty());
        if (frame.isEmpty())
            EXPECT_BYTES(s.peer.received(), "");
        else
            EXPECT_BYTES(pageRequests(s.peer), frame);
    }

    // A request that finds the line busy for too long gets "Timeout" and never reaches the
    // module. (One request at a time on the line: robust.PagesTest, with a burst.)
    void busyLine() {
        Served s;
        s.module.reply("CMD\n", {"WAIT 30"});
        QNetworkReply* slow = s.get("/slow.gif");
        QVERIFY(runUntil([&] { return s.pages.RequestBusy(); }));
        QNetworkReply* late = s.get("/3.gif");
        QVERIFY(s.finish(late));
        EXPECT_BYTES(late->readAll(), "Timeout");
        EXPECT_HAS(s.status, "Error: Time Out.");
        s.peer.send("GIF4-5b\nabcd\x10\x04");
        QVERIFY(s.finish(slow));
        EXPECT_BYTES(slow->readAll(), "a");
        EXPECT_BYTES(pageRequests(s.peer), "!Bslow.gif\r");
    }

    void closingDuringARequest() {
        Served s;
        s.module.silence();
        QNetworkReply* r = s.get("/x.gif");
        QVERIFY(runUntil([&] { return !s.peer.frames().isEmpty(); }));
        s.pages.close();
        QVERIFY(!s.pages.isOpen());
        QVERIFY(runUntil([&] { return r->isFinished(); }));
        RawChannel again; // the line is free again for the link
        QVERIFY(again.OpenRawPort(s.peer.path()));
    }
};

ORVEX_TEST(ServeTest)
#include "serve.moc"
