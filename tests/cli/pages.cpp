// orvex-cli pages: the module's pages served to any HTTP client until a signal ends it.
#include "tests/cli/CliRun.h"
#include "tests/support/TestMain.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTcpServer>

namespace {
quint16 freePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}
} // namespace

class PagesTest : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<CliRun> f;

private Q_SLOTS:
    void init() { f = std::make_unique<CliRun>(); }
    void cleanup() { f.reset(); }

    void servesUntilStopped() {
        const quint16 port = freePort();
        const QString trace = f->path(QStringLiteral("pages.trace"));
        auto p =
            f->start({QStringLiteral("--trace"), trace, QStringLiteral("pages"),
                      QStringLiteral("2/1"), QStringLiteral("--listen"), QString::number(port)});
        QVERIFY(QTest::qWaitFor([&] { return p->canReadLine(); }, 30000));
        const QString address = QString::fromUtf8(p->readLine()).trimmed();
        QCOMPARE(address, QStringLiteral("http://127.0.0.1:%1/").arg(port));

        QNetworkAccessManager http;
        std::unique_ptr<QNetworkReply> reply(http.get(QNetworkRequest(QUrl(address))));
        QVERIFY(QTest::qWaitFor([&] { return reply->isFinished(); }, 30000));
        QCOMPARE(reply->error(), QNetworkReply::NoError);
        QVERIFY(reply->readAll().contains("<title>Optical Transmitter OTX-1310</title>"));

        p->terminate();
        QVERIFY(p->waitForFinished(30000));
        QCOMPARE(p->exitStatus(), QProcess::NormalExit);
        QCOMPARE(p->exitCode(), 0);
        QVERIFY(p->readAllStandardError().contains("Pages of module 2/1 closed."));
        // The page exchanges are in the trace as well: the request for the start page.
        QFile file(trace);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().contains(" > 21 47 0D |!G.|"));
    }

    void portInUse() {
        QTcpServer taken;
        QVERIFY(taken.listen(QHostAddress::LocalHost, 0));
        const auto r = f->run({QStringLiteral("pages"), QStringLiteral("2/1"),
                               QStringLiteral("--listen"), QString::number(taken.serverPort())});
        QCOMPARE(r.status, 3);
        QCOMPARE(r.errLines().last(),
                 QStringLiteral("The TCP port %1 on 127.0.0.1 is in use.").arg(taken.serverPort()));
    }

    void moduleWithoutPages() {
        const auto r = f->run({QStringLiteral("pages"), QStringLiteral("1/1")});
        QCOMPARE(r.status, 1);
        QCOMPARE(r.errLines(), QStringList{QStringLiteral("Module 1/1 (QM4-C) has no pages.")});
    }
};

ORVEX_TEST(PagesTest)
#include "pages.moc"
