#include "link/DiagReport.h"
#include "tests/support/LinkFixture.h"
#include "tests/support/TestMain.h"

#include <QtTest>

// The diagnostic report's lines and the commands behind them.
class DiagReportTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void report() {
        LinkFixture f;
        QVERIFY(f.link->OpenLink());
        TModule& m = f.modules.renew(2, 0);
        m.TypeName = "QAM4";
        m.VersionText = "V1.2";
        m.DiagCount = 2;
        QByteArray ext;
        for (int i = 0; i < 16; ++i)
            ext += "bit" + QByteArray::number(i) + "\n";
        f.peer.setResponder([&](const QByteArray& frame) -> std::optional<PtyPeer::Reply> {
            if (frame == "!?\r")
                return PtyPeer::Reply{"AB-1234\x03"};
            if (frame == "!1\r")
                return PtyPeer::Reply{"00\n81\n\x03"};
            if (frame == "!:\r")
                return PtyPeer::Reply{ext + "\x03"};
            if (frame == "!<\r")
                return PtyPeer::Reply{"Laser current high\n\x03"};
            return std::nullopt;
        });
        const QStringList expected{"Module #3  QAM4  Vers. V1.2",
                                   "SN AB-1234",
                                   "=====================",
                                   "Diagnostic Bytes:",
                                   "   #0  0000 0000",
                                   "   #1  1000 0001",
                                   "",
                                   "Extended Diagnostic Info:",
                                   "",
                                   "bit8",
                                   "bit15",
                                   "",
                                   "Laser current high"};
        QCOMPARE(DiagReport(*f.link, f.modules, 2, 0), expected);
        QVERIFY(m.DiagFault);
        QCOMPARE(f.modules.diagLines(2, 0), expected.mid(0, 3));
        // The extended texts are read once per scan.
        f.peer.clearReceived();
        DiagReport(*f.link, f.modules, 2, 0);
        QVERIFY(!f.peer.received().contains("!:\r"));
    }

    void silentModuleStillGivesAReport() {
        LinkFixture f;
        QVERIFY(f.link->OpenLink());
        TModule& m = f.modules.renew(0, 1);
        m.TypeName = "AMP";
        m.DiagCount = 1;
        f.link->ReplyTimeout = 80;
        // The buffer holds an earlier reply that is no diagnostic reply at all.
        f.link->RxBuffer.replace(0, 4, "xyz\x03");
        const QStringList lines = DiagReport(*f.link, f.modules, 0, 1);
        QVERIFY(lines.contains("No extended diagnostic"));
        QVERIFY(lines.contains("No additional messages"));
        QCOMPARE(lines.first(), QString("Module #1  AMP  Vers. "));
    }
};

ORVEX_TEST(DiagReportTest)
#include "diagreport.moc"
