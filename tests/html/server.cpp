#include "html/ModulePages.h"
#include "tests/html/ScriptedModule.h"
#include "tests/support/EventLoop.h"
#include "tests/support/TestMain.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

using Tone = PageEffects::Tone;

namespace {
struct Served {
    Served() : module(peer) {
        if (!pages.OpenRawPort(peer.path()))
            qFatal("cannot open %s", qPrintable(pages.errorString()));
        QString error;
        if (!pages.startServer(&error))
            qFatal("no server: %s", qPrintable(error));
        QObject::connect(&pages, &ModulePages::pageStatus, [this](const QString& t, Tone tone) {
            status << t;
            tones << tone;
        });
    }
    QUrl url(const QString& path) const { return QUrl(pages.startAddress() + path.mid(1)); }
    QNetworkReply* get(const QString& path) { return net.get(QNetworkRequest(url(path))); }
    static bool finish(QNetworkReply* r) {
        return runUntil([r] { return r->isFinished(); }, 20000);
    }
    static int code(QNetworkReply* r) {
        return r->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    }
    // A request written by hand, for headers a browser would not send.
    QByteArray raw(const QByteArray& request) {
        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, pages.serverPort());
        runUntil([&] { return s.state() == QAbstractSocket::ConnectedState; });
        s.write(request);
        QByteArray answer;
        runUntil([&] {
            answer += s.readAll();
            return answer.contains("\r\n\r\n");
        });
        return answer;
    }

    PtyPeer peer;
    ScriptedModule module;
    ModulePages pages;
    QNetworkAccessManager net;
    QStringList status;
    QList<Tone> tones;
};
} // namespace

// The local HTTP front end with a real HTTP client, against a scripted module.
class ServerTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void startPage() {
        Served s;
        s.module.reply("HTML\n", {"<p>start, see ", "http://127.0.0.1/x.html</p>"});
        QNetworkReply* r = s.get("/");
        QVERIFY(s.finish(r));
        QCOMPARE(s.code(r), 200);
        QCOMPARE(r->header(QNetworkRequest::ContentTypeHeader).toString(), QString("text/html"));
        const QByteArray link = "http://127.0.0.1:" + QByteArray::number(s.pages.serverPort());
        QCOMPARE(r->readAll(), "<p>start, see " + link + "/x.html</p>\r\n");
        QCOMPARE(s.peer.frames().value(0), QByteArray("!A\r"));
        QCOMPARE(s.status, QStringList{QString()});
    }

    void takenPortGivesAnotherPort() {
        QTcpServer holder;
        QVERIFY(holder.listen(QHostAddress::LocalHost, 0));
        PtyPeer peer;
        ModulePages pages;
        QVERIFY(pages.OpenRawPort(peer.path()));
        QString error;
        QVERIFY(pages.startServer(&error, holder.serverPort()));
        QVERIFY(pages.serverPort() != 0);
        QVERIFY(pages.serverPort() != holder.serverPort());
        QCOMPARE(pages.startAddress(), QString("http://127.0.0.1:%1/").arg(pages.serverPort()));
    }

    void refusedRequestsNeverReachTheLine_data() {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("status");
        QTest::newRow("CR in the path")
            << QByteArray("GET /a%0Db.gif HTTP/1.1\r\n") << QByteArray(" 400");
        QTest::newRow("NUL in the query")
            << QByteArray("GET /a.gif?x=%00 HTTP/1.1\r\n") << QByteArray(" 200");
        QTest::newRow("other host")
            << QByteArray("GET / HTTP/1.1\r\nHost: evil.example\r\n") << QByteArray(" 403");
        QTest::newRow("too long") << "GET /" + QByteArray(600, 'a') + " HTTP/1.1\r\n"
                                  << QByteArray(" 414");
        QTest::newRow("put") << QByteArray("PUT /a HTTP/1.1\r\n") << QByteArray(" 405");
        QTest::newRow("post and query")
            << QByteArray("POST /apply.cgi?x=1 HTTP/1.1\r\nContent-Length: 4\r\n")
            << QByteArray(" 400");
    }
    void refusedRequestsNeverReachTheLine() {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, status);
        Served s;
        s.module.reply("GIF4-5b\n", {"abcd\x10"});
        const QByteArray host = "Host: 127.0.0.1:" + QByteArray::number(s.pages.serverPort());
        QByteArray text = request;
        if (!text.contains("Host:"))
            text += host + "\r\n";
        text += "\r\n";
        if (text.startsWith("POST"))
            text += "p1=1";
        const QByteArray answer = s.raw(text);
        QVERIFY2(answer.startsWith("HTTP/1.1" + status), answer.constData());
        // The query is passed on as the browser encoded it: "%00" is three harmless bytes.
        if (status == " 200")
            QVERIFY(s.peer.frames().contains("!Ba.gif?x=%00\r"));
        else
            QVERIFY(s.peer.received().isEmpty());
    }

    void twoPicturesAtOnce() {
        Served s;
        s.module.setBehaviour({false, false, false});
        s.module.reply("GIF4-5b\n", {"abcd\x20"}, 400);
        s.module.reply("GIF4-5b\n", {"efgh\x30"});
        QNetworkReply* first = s.get("/1.gif");
        QNetworkReply* second = s.get("/2.gif");
        QVERIFY(s.finish(first) && s.finish(second));
        QCOMPARE(first->readAll(), QByteArray("ab"));
        QCOMPARE(second->readAll(), QByteArray("efg"));
        // The second went on the line only after the first was answered.
        const QList<QByteArray> f = s.peer.frames();
        QVERIFY(f.indexOf("!B2.gif\r") > f.indexOf("!B1.gif\r"));
        QVERIFY(!s.pages.RequestBusy());
    }

    void waitingTooLongGetsTimeout() {
        Served s;
        s.module.setBehaviour({false, false, false});
        s.module.reply("CMD\n", {"WAIT 6"});
        s.peer.send("GIF4-5b\nabcd\x10\x04", 4500);
        QNetworkReply* first = s.get("/slow.gif");
        runUntil([&] { return s.pages.RequestBusy(); });
        QNetworkReply* second = s.get("/2.gif");
        QVERIFY(s.finish(second));
        QCOMPARE(second->readAll(), QByteArray("Timeout"));
        QVERIFY(s.status.contains("Error: Time Out."));
        QVERIFY(s.finish(first));
        QCOMPARE(first->readAll(), QByteArray("a"));
        QVERIFY(!s.peer.frames().contains("!B2.gif\r"));
    }

    void formPostAndHead() {
        Served s;
        s.module.setBehaviour({false, false, false});
        s.module.reply("\x06\n", {""});
        QNetworkRequest post(s.url("/apply.cgi"));
        post.setHeader(QNetworkRequest::ContentTypeHeader, "application/x-www-form-urlencoded");
        QNetworkReply* r = s.net.post(post, "p1=5&p2=3");
        QVERIFY(s.finish(r));
        QCOMPARE(s.code(r), 200);
        QCOMPARE(s.peer.frames().last(), QByteArray("!Bapply.cgi?p1=5&p2=3\r"));
        QCOMPARE(s.status, QStringList{"Uploaded"});
        QCOMPARE(s.tones, QList<Tone>{Tone::Green});

        s.module.reply("CSS\n", {"a{}"});
        QNetworkReply* h = s.net.head(QNetworkRequest(s.url("/s.css")));
        QVERIFY(s.finish(h));
        QCOMPARE(h->header(QNetworkRequest::ContentLengthHeader).toInt(), 3);
        QCOMPARE(h->header(QNetworkRequest::ContentTypeHeader).toString(), QString("text/css"));
        QVERIFY(h->readAll().isEmpty());
    }

    void refusalIsReadBeforeTheResponse() {
        Served s;
        s.module.setBehaviour({false, false, false});
        s.module.reply("\x15\n", {"Value refused: p1=99"});
        QNetworkReply* r = s.get("/apply.cgi?p1=99");
        QStringList shown;
        bool answeredMeanwhile = true;
        s.pages.setRefusalHandler([&](const QString& text) {
            shown << text;
            runFor(300); // the user reads it
            answeredMeanwhile = r->isFinished();
        });
        QVERIFY(s.finish(r));
        QCOMPARE(shown, QStringList{"Value refused: p1=99"});
        QVERIFY(!answeredMeanwhile);
        QCOMPARE(r->readAll(), QByteArray("Value refused: p1=99"));
    }

    void closingDuringARequest() {
        Served s;
        s.module.silence();
        QNetworkReply* r = s.get("/x.gif");
        runUntil([&] { return !s.peer.frames().isEmpty(); });
        s.pages.close();
        QVERIFY(!s.pages.isOpen());
        runUntil([&] { return r->isFinished(); }, 2000);
        // The line is free again for the link.
        RawChannel again;
        QVERIFY(again.OpenRawPort(s.peer.path()));
    }
};

ORVEX_TEST(ServerTest)
#include "server.moc"
