#include "html/ModulePages.h"
#include "sim/SimServer.h"
#include "tests/support/EventLoop.h"
#include "tests/support/TestMain.h"

#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QtTest>

namespace {
// The demo head-end's module with pages: slot 1 of subrack 2.
constexpr int kSubrack = 1, kSlot = 0;
} // namespace

// Page replies that arrive damaged, with a wrong checksum or without their last byte: the
// request is repeated, and the browser gets the page or one of our own pages, never nothing.
class PagesFaultsTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void damagedReply_data() {
        QTest::addColumn<int>("garble");
        QTest::addColumn<int>("badChecksums");
        QTest::addColumn<int>("unterminated");
        QTest::addColumn<QString>("answer"); // "page", or the start of our own page
        QTest::addColumn<int>("sends");      // start page requests on the line
        QTest::newRow("one block garbled") << 1 << 0 << 0 << "page" << 2;
        QTest::newRow("every reply garbled") << -1 << 0 << 0 << "<HTML><BODY><FONT COLOR=RED>" << 3;
        QTest::newRow("one wrong checksum") << 0 << 1 << 0 << "page" << 2;
        QTest::newRow("every checksum wrong")
            << 0 << -1 << 0 << "<HTML><BODY><FONT COLOR=RED>" << 3;
        // Without its EOT the reply times out; the next send gets the page.
        QTest::newRow("one reply unterminated") << 0 << 0 << 1 << "page" << 2;
    }
    void damagedReply() {
        QFETCH(int, garble);
        QFETCH(int, badChecksums);
        QFETCH(int, unterminated);
        QString error;
        auto sim = SimServer::startPty(demoProfile(), &error);
        QVERIFY2(sim, qPrintable(error));
        {
            RawChannel select;
            QVERIFY(select.OpenRawPort(sim->slavePath()));
            select.write(QByteArray("!") + char(0xC0 + kSubrack) + char(0x80 + kSlot));
            QCOMPARE(select.readByte(1000), 0x06);
        }
        ModulePages pages;
        QVERIFY(pages.OpenRawPort(sim->slavePath()));
        QVERIFY2(pages.startServer(&error), qPrintable(error));
        SimFaults faults;
        faults.garbleReplies = garble;
        faults.badChecksums = badChecksums;
        faults.unterminated = unterminated;
        sim->headend().setFaults(kSubrack, kSlot, faults);
        sim->headend().clearLog();

        QNetworkAccessManager net;
        QNetworkReply* r = net.get(QNetworkRequest(QUrl(pages.startAddress())));
        QVERIFY(runUntil([r] { return r->isFinished(); }, 20000));
        const QByteArray body = r->readAll();
        QFETCH(QString, answer);
        if (answer == "page")
            QVERIFY2(body.contains("<title>Optical Transmitter OTX-1310</title>"),
                     body.constData());
        else
            QVERIFY2(body.startsWith(answer.toLatin1()), body.constData());
        QTEST(int(sim->headend().received().count("!A\r")), "sends");
        QVERIFY(!pages.RequestBusy());

        // The module well again: the next request gets its page.
        sim->headend().clearFaults();
        r = net.get(QNetworkRequest(QUrl(pages.startAddress() + "style.css")));
        QVERIFY(runUntil([r] { return r->isFinished(); }, 20000));
        QFile css(":/sim/pages/otx/style.css");
        QVERIFY(css.open(QIODevice::ReadOnly));
        QCOMPARE(r->readAll(), css.readAll());
    }
};

ORVEX_TEST(PagesFaultsTest)
#include "pages_faults.moc"
