#include "html/ModulePages.h"
#include "sim/SimServer.h"
#include "tests/support/EventLoop.h"
#include "tests/support/TestMain.h"

#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTcpSocket>
#include <QtTest>

namespace {
// The demo head-end's module with pages: slot 1 of subrack 2.
constexpr int kSubrack = 1, kSlot = 0;

QByteArray demoFile(const QString& name) {
    QFile f(":/sim/pages/otx/" + name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The simulated head-end with its pages module selected (as the main window leaves it
// before it hands the line over) and the pages engine serving it.
struct Demo {
    Demo() {
        QString error;
        sim = SimServer::startPty(demoProfile(), &error);
        if (!sim)
            qFatal("simulator: %s", qPrintable(error));
        RawChannel select;
        if (!select.OpenRawPort(sim->slavePath()))
            qFatal("cannot open the simulator's line");
        select.write(QByteArray("!") + char(0xC0 + kSubrack) + char(0x80 + kSlot));
        select.readByte(1000);
        select.close();
        if (!pages.OpenRawPort(sim->slavePath()) || !pages.startServer(&error))
            qFatal("pages: %s", qPrintable(error));
        sim->headend().clearLog();
        QObject::connect(&pages, &ModulePages::pageStatus,
                         [this](const QString& text) { status << text; });
    }
    QNetworkReply* get(const QString& path) {
        return net.get(QNetworkRequest(QUrl(pages.startAddress() + path.mid(1))));
    }
    static QByteArray body(QNetworkReply* r) {
        runUntil([r] { return r->isFinished(); }, 20000);
        return r->readAll();
    }

    std::unique_ptr<SimServer> sim;
    ModulePages pages;
    QNetworkAccessManager net;
    QStringList status;
};
} // namespace

// The demo head-end's pages module through the local server, with a real HTTP client.
class DemoPagesTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void startPage() {
        Demo d;
        QNetworkReply* r = d.get("/");
        const QByteArray page = d.body(r);
        QCOMPARE(r->header(QNetworkRequest::ContentTypeHeader).toString(), QString("text/html"));
        QVERIFY(page.contains("<title>Optical Transmitter OTX-1310</title>"));
        // The first local link names our server's port.
        const QByteArray link =
            "http://127.0.0.1:" + QByteArray::number(d.pages.serverPort()) + "/linktest.html";
        QVERIFY(page.contains(link));
        QVERIFY(page.endsWith("\r\n"));
        QCOMPARE(d.status, QStringList{QString()});
        QVERIFY(d.pages.transfer().ReplyCrcOn); // the module's checksums all matched
    }

    void pictures_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("type");
        QTest::newRow("gif") << "logo.gif"
                             << "image/gif";
        QTest::newRow("jpeg") << "rack.jpg"
                              << "image/jpeg";
        QTest::newRow("style sheet") << "style.css"
                                     << "text/css";
    }
    void pictures() {
        QFETCH(QString, name);
        QFETCH(QString, type);
        Demo d;
        QNetworkReply* r = d.get("/" + name);
        QCOMPARE(d.body(r), demoFile(name));
        QCOMPARE(r->header(QNetworkRequest::ContentTypeHeader).toString(), type);
        QVERIFY(d.pages.transfer().RequestCrcOn);
    }

    void formPost() {
        Demo d;
        QNetworkRequest post(QUrl(d.pages.startAddress() + "apply.cgi"));
        post.setHeader(QNetworkRequest::ContentTypeHeader, "application/x-www-form-urlencoded");
        QNetworkReply* r = d.net.post(post, "p3=40&p4=0");
        d.body(r);
        QCOMPARE(r->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 200);
        QCOMPARE(d.status, QStringList{"Uploaded"});
        QCOMPARE(d.sim->headend().currentValue(kSubrack, kSlot, 3, 0), std::optional<int>(40));
        QCOMPARE(d.sim->headend().currentValue(kSubrack, kSlot, 4, 0), std::optional<int>(0));
        // A value the module does not take: its text in the response.
        QNetworkReply* bad = d.get("/apply.cgi?p3=9999");
        QVERIFY(d.body(bad).startsWith("Value refused"));
    }

    void missingDocumentIsRefused() {
        Demo d;
        QNetworkReply* r = d.get("/nothing.html");
        QCOMPARE(d.body(r), QByteArray());
        QCOMPARE(r->header(QNetworkRequest::ContentTypeHeader).toString(), QString("text/plain"));
    }

    void controlBytesNeverReachTheLine() {
        Demo d;
        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, d.pages.serverPort());
        QVERIFY(s.waitForConnected(5000));
        s.write("GET /index.html%0D%0A!A HTTP/1.1\r\nHost: 127.0.0.1:" +
                QByteArray::number(d.pages.serverPort()) + "\r\n\r\n");
        QByteArray answer;
        runUntil([&] {
            answer += s.readAll();
            return answer.contains("\r\n\r\n");
        });
        QVERIFY2(answer.startsWith("HTTP/1.1 400"), answer.constData());
        runFor(200);
        QVERIFY(d.sim->headend().received().isEmpty());
    }
};

ORVEX_TEST(DemoPagesTest)
#include "demo.moc"
