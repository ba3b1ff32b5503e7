#include "files/FileFormat.h"
#include "files/SaveLoad.h"
#include "html/ModulePages.h"
#include "link/DiagReport.h"
#include "link/HeadendScan.h"
#include "sim/SimServer.h"
#include "tests/files/FakeLine.h"
#include "tests/html/ScriptedModule.h"
#include "tests/support/EventLoop.h"

#include "tests/support/TestMain.h"
#include <QTcpSocket>

#include <QtTest>

namespace {
// A module of the simple kind, on every slot of a head-end.
SimProfile fullHeadend(const QString& firstType) {
    SimModuleDef def;
    def.version = {QStringLiteral("V1")};
    def.diag = {QStringLiteral("00")};
    def.hasMarker = true;
    SimParamDef on;
    on.name = QStringLiteral("Output");
    on.values = {0};
    def.params = {on};
    SimProfile p;
    for (int i = 0; i < 32; ++i) {
        def.type = i == 0 ? firstType : QStringLiteral("GOOD");
        p.modules << SimSlotDef{i / 16, i % 16, def};
    }
    return p;
}

// Records what the subrack view would show of each module found.
struct ShownScan : QuietScanView {
    void slotFound(int, int, const TModule& m) override {
        shown << m.TypeName + (m.healthy() ? " green" : " red");
    }
    QStringList shown;
};
} // namespace

// Where one part of the program hands its work to another: what the scan read, what a save
// writes, what a load reads back, what the browser asks for. Nothing may be lost or silently
// changed there, and no unsafe byte may reach the line.
class SeamsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<LinkFixture> f;
    std::unique_ptr<FakeLine> line;

    SaveLoad files() { return SaveLoad(*f->link, f->modules, f->state, f->host); }
    // Every slot empty but subrack 1, slot 2, which holds a parameter module with the value 7.
    void goodModule() {
        f = std::make_unique<LinkFixture>();
        line = std::make_unique<FakeLine>(*f);
        QVERIFY(f->link->OpenLink());
        f->link->ReplyTimeout = 80;
        scanEmpty(f->modules);
        line->setPresent(0, 1);
        addModule(f->modules, 0, 1, "TESTMOD", "V1", InfoParam, 1, {{7}});
        line->script("06", {"00"});
        line->script("07", {"00"});
    }

private Q_SLOTS:
    void cleanup() {
        line.reset();
        f.reset();
    }

    // A configuration save with one module it cannot store as it is: the file says so in an
    // ERROR line, and loads back with the other module applied.
    void savedFileLoadsBack_data() {
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("version");
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("channels");
        QTest::addColumn<QByteArrayList>("image"); // answers to "05", then to every "04"
        QTest::addColumn<QByteArrayList>("block"); // the module's block after its address
        QTest::addColumn<QString>("status");
        const QString errors("Done. Errors found");
        QTest::newRow("empty version")
            << "PM"
            << "" << int(InfoParam) << 1 << QByteArrayList{}
            << QByteArrayList{"PM", FileFormat::BadVersion, "MODEND"} << errors;
        QTest::newRow("type read as a comment")
            << ";PM"
            << "V1" << int(InfoParam) << 1 << QByteArrayList{}
            << QByteArrayList{FileFormat::BadTypeName, "MODEND"} << errors;
        QTest::newRow("image module without channels")
            << "RPR"
            << "V2" << int(InfoImage) << 0 << QByteArrayList{"0011"}
            << QByteArrayList{"RPR", "V2", "EEPROM", "0011", "MODEND"} << QString("Done.");
        QTest::newRow("image that never ends")
            << "RPR"
            << "V2" << int(InfoImage) << 1 << QByteArrayList{"0011223344556677", "8899AABBCCDDEEFF"}
            << QByteArrayList{"RPR", "V2", "EEPROM", FileFormat::ImageTooLong, "MODEND"} << errors;
    }
    void savedFileLoadsBack() {
        QFETCH(QString, type);
        QFETCH(QString, version);
        QFETCH(int, kind);
        QFETCH(int, channels);
        QFETCH(QByteArrayList, image);
        goodModule();
        line->setPresent(0, 2);
        addModule(f->modules, 0, 2, type, version, quint8(kind), channels, {{3}});
        line->script("03", {"03"});
        line->script("05", image.mid(0, 1));
        line->script("04", image.mid(1));
        QVERIFY(files().SaveConfigFile("c.mmh"));
        QTEST(f->host.status, "status");
        const QByteArrayList lines = FileFormat::splitLines(fileBytes("c.mmh"));
        const qsizetype at = lines.indexOf("0 2 " + QByteArray::number(channels));
        QVERIFY(at > 0);
        QByteArrayList block = lines.mid(at + 1);
        QTEST(block.mid(0, block.indexOf("MODEND") + 1), "block");
        if (kind == InfoImage) // the module is back from its special mode
            QCOMPARE(line->frames().filter(QRegularExpression("^7$")).size(), 1);

        f->peer.clearReceived();
        QVERIFY(files().LoadSettingsFile("c.mmh", true));
        QVERIFY(!f->host.messages.contains("File I/O error."));
        QVERIFY2(line->frames().contains("50,7"), qPrintable(line->frames().join(' ')));
    }

    // A block that the head-end refuses is skipped with its error line, whatever it holds,
    // and sends nothing but its presence check; the other blocks are applied.
    void loadSkipsRefusedBlocks_data() {
        QTest::addColumn<QByteArrayList>("refused");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QStringList>("checks"); // frames sent for the refused block
        const QByteArrayList malformed{"TESTMOD", "V1", "PARAM", "1 x 2 ", "MODEND"};
        QTest::newRow("absent module, malformed values")
            << QByteArrayList{"MOD", "0 2 1"} + malformed << "Error: Module 1/3 not responding."
            << QStringList{"S1/3", "S1/3"};
        QTest::newRow("other type, malformed values")
            << QByteArrayList{"MOD", "0 3 1"} + malformed << "Error: Module 1/4 type mismatch"
            << QStringList{"S1/4", "S1/4"};
        const QByteArrayList body{"TESTMOD", "V1", "PARAM", "5 ", "MODEND"};
        QTest::newRow("slot 17") << QByteArrayList{"MOD", "0 16 1"} + body
                                 << "Error: Module 1/17 not responding." << QStringList{};
        QTest::newRow("subrack 3") << QByteArrayList{"MOD", "2 0 1"} + body
                                   << "Error: Module 3/1 not responding." << QStringList{};
        QTest::newRow("subrack giving CR")
            << QByteArrayList{"MOD", "-179 0 1"} + body << "Error: Module -178/1 not responding."
            << QStringList{};
        QTest::newRow("largest numbers")
            << QByteArrayList{"MOD", "2147483647 2147483647 1"} + body
            << "Error: Module 2147483648/2147483648 not responding." << QStringList{};
    }
    void loadSkipsRefusedBlocks() {
        QFETCH(QByteArrayList, refused);
        QFETCH(QString, error);
        QFETCH(QStringList, checks);
        goodModule();
        line->setPresent(0, 3);
        addModule(f->modules, 0, 3, "OTHER", "V1", InfoParam, 1, {{1}});
        const QByteArrayList good{"MOD", "0 1 1", "TESTMOD", "V1", "PARAM", "7 ", "MODEND"};
        QVERIFY(writeFile("c.mmh", crlf(refused + good)));
        QVERIFY(files().LoadSettingsFile("c.mmh", true));
        QCOMPARE(f->host.messages, QStringList{error + '\n'});
        const QStringList applied{"S1/2", "S1/2", "50,7", "6", "S1/2", "S1/2", "7", "S1/2", "S1/2"};
        QCOMPARE(line->frames(), checks + applied);
    }

    // A module whose info block cannot be read is never shown as clear: the scan says so,
    // and so does its report.
    void unreadableInfoBlock() {
        QString error;
        // The LF in the type shifts line 2 to "X", which carries no channel count.
        auto sim = SimServer::startPty(fullHeadend("BAD\nX"), &error);
        QVERIFY2(sim, qPrintable(error));
        f = std::make_unique<LinkFixture>();
        LinkFixture::writePort(sim->slavePath());
        QVERIFY(f->link->OpenLink());
        ShownScan view;
        ScanHeadend(*f->link, f->modules, f->state, f->host, view);
        QCOMPARE(view.shown.size(), 32);
        QCOMPARE(view.shown.first(), QString("BAD red"));
        QCOMPARE(view.shown.count("GOOD green"), 31);
        QCOMPARE(f->host.messages.size(), 1);
        QVERIFY2(f->host.messages.first().startsWith("Group#1 Module #1: Info block: "),
                 qPrintable(f->host.messages.first()));
        const QStringList report = DiagReport(*f->link, f->modules, 0, 0);
        QVERIFY(report.contains(f->host.messages.first().mid(19)));
        f.reset();
    }

    // Requests of the browser as the module and the user meet them.
    void pageRequests_data() {
        QTest::addColumn<QByteArray>("request"); // "HOST" stands for the server's address
        QTest::addColumn<QByteArray>("answer");  // start of the answer; empty: closed unanswered
        QTest::addColumn<QByteArray>("frame");   // a request on the line; empty: nothing sent
        QTest::newRow("path starting with //")
            << QByteArray("GET //x HTTP/1.1\r\nHost: HOST\r\n\r\n") << QByteArray("HTTP/1.1 200")
            << QByteArray("!Bx\r");
        QTest::newRow("2 GB body") << QByteArray("POST /apply.cgi HTTP/1.1\r\nHost: HOST\r\n"
                                                 "Content-Length: 2147483648\r\n\r\np1=1")
                                   << QByteArray("HTTP/1.1 413") << QByteArray();
        QTest::newRow("endless headers")
            << "GET / HTTP/1.1\r\nHost: HOST\r\nX-Pad: " + QByteArray(20000, 'a') + "\r\n\r\n"
            << QByteArray("HTTP/1.1 431") << QByteArray();
        QTest::newRow("idle connection")
            << QByteArray("GET / HTTP/1.1\r\n") << QByteArray() << QByteArray();
    }
    void pageRequests() {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, answer);
        QFETCH(QByteArray, frame);
        PtyPeer peer;
        ScriptedModule module(peer);
        module.reply("GIF4-5b\n", {"abcd\x10"});
        ModulePages pages;
        QVERIFY(pages.OpenRawPort(peer.path()));
        QString error;
        QVERIFY2(pages.startServer(&error), qPrintable(error));
        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, pages.serverPort());
        QVERIFY(runUntil([&] { return s.state() == QAbstractSocket::ConnectedState; }));
        s.write(request.replace("HOST", "127.0.0.1:" + QByteArray::number(pages.serverPort())));
        QByteArray got;
        QVERIFY(runUntil(
            [&] {
                got += s.readAll();
                return got.contains("\r\n\r\n") || s.state() == QAbstractSocket::UnconnectedState;
            },
            20000));
        QVERIFY2(got.startsWith(answer), got.left(80).constData());
        QCOMPARE(answer.isEmpty(), got.isEmpty());
        if (frame.isEmpty())
            QCOMPARE(peer.frames(), QList<QByteArray>());
        else
            QVERIFY(peer.frames().contains(frame));
    }
};

ORVEX_TEST(SeamsTest)
#include "seams.moc"
