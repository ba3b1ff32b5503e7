#include "tests/app/AppFixture.h"
#include "tests/support/TestMain.h"

#include "app/Led.h"
#include "panel/GradientCaption.h"

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>
#include <QToolButton>
#include <QtTest>

namespace {
QByteArray fileBytes(const QString& name) {
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
void writeBytes(const QString& name, const QByteArray& bytes) {
    QFile f(name);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}
QStringList visibleItems(QMenu* menu) {
    QStringList out;
    for (QAction* a : menu->actions())
        if (a->isVisible() && a->isEnabled())
            out << a->text();
    return out;
}
} // namespace

// Start-up, the settings files and exit.
class StartupTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void firstStartCreatesTheSettingsFile() {
        AppFixture f;
        TMainFrm& m = f.start();
        QCOMPARE(m.state().IdleState, quint8(1));
        QCOMPARE(fileBytes("OXL.ini").toHex(' '), QByteArray("32 00 00 00"));
        QCOMPARE(m.link().ScanTimeout, 50);
        QCOMPARE(m.Cfrm->cbScanTime->currentText(), QString("50"));
        QVERIFY(m.shownMessages.isEmpty());
        // Nothing was said to the modules; the view waits for "Scan".
        QVERIFY(f.peer.received().isEmpty());
        QVERIFY(!m.pcModSwitch->isEnabled());
        QVERIFY(!m.btInfo->isEnabled());
        QCOMPARE(m.sbM[0]->text(), QString("?"));
        // The slot numbers read dark on the grey page, which is disabled.
        const QImage number = m.slotLabels[0]->grab().toImage();
        int darkest = 255;
        for (int y = 0; y < number.height(); ++y)
            for (int x = 0; x < number.width(); ++x)
                darkest = qMin(darkest, number.pixelColor(x, y).lightness());
        QVERIFY2(darkest < 100, qPrintable(QString::number(darkest)));
        QVERIFY(!m.pcModSwitch->isTabVisible(1));
        QCOMPARE(m.ldReady->currentColor(), QColor(255, 255, 0));
        QCOMPARE(m.RxGCaption->caption(), QString(" ORVEX Link"));
        AppFixture::screenshot(&m, "main-window");
    }

    void storedTimeout_data() {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<int>("timeout");
        QTest::addColumn<QString>("box");
        QTest::addColumn<bool>("complains");
        QTest::newRow("listed") << QByteArray::fromHex("c8000000") << 200 << "200" << false;
        QTest::newRow("not listed") << QByteArray::fromHex("4d000000") << 77 << "50" << false;
        QTest::newRow("zero") << QByteArray::fromHex("00000000") << 50 << "50" << false;
        QTest::newRow("negative") << QByteArray::fromHex("f6ffffff") << 50 << "50" << false;
        QTest::newRow("short") << QByteArray::fromHex("c800") << 50 << "50" << true;
    }
    void storedTimeout() {
        QFETCH(QByteArray, stored);
        AppFixture f;
        writeBytes("OXL.ini", stored);
        TMainFrm& m = f.start();
        QTEST(m.link().ScanTimeout, "timeout");
        QTEST(m.Cfrm->cbScanTime->currentText(), "box");
        QTEST(m.shownMessages.contains("Init File accessing error"), "complains");
        QCOMPARE(m.link().ReplyTimeout, m.link().ScanTimeout);
    }

    void serviceSwitch_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QStringList>("items");
        const QStringList all{"Reset module", "Reset Module type", "Default params",
                              "Special addr.", "LineBreak"};
        QTest::newRow("none") << QStringList{"orvex-link"} << QStringList{"Reset module"};
        QTest::newRow("other") << QStringList{"orvex-link", "/x"} << QStringList{"Reset module"};
        QTest::newRow("/k") << QStringList{"orvex-link", "/k"} << all;
        QTest::newRow("/K") << QStringList{"orvex-link", "/K"} << all;
    }
    void serviceSwitch() {
        QFETCH(QStringList, args);
        AppFixture f({}, args);
        TMainFrm& m = f.start();
        QTEST(visibleItems(m.statusMenu), "items");
    }

    void portThatCannotOpenIsReported() {
        AppFixture f("/dev/no-such-port");
        TMainFrm& m = f.start();
        QCOMPARE(m.shownMessages, QStringList{"Please select proper COM Port"});
        QCOMPARE(m.state().IdleState, quint8(1));
    }

    void everyWayOutWritesTheSettings_data() {
        QTest::addColumn<int>("way");
        QTest::newRow("Exit button") << 0;
        QTest::newRow("File Exit") << 1;
        QTest::newRow("window closed") << 2;
    }
    void everyWayOutWritesTheSettings() {
        QFETCH(int, way);
        AppFixture f;
        TMainFrm& m = f.start();
        m.link().ScanTimeout = 300;
        if (way == 0)
            m.btClose->click();
        else if (way == 1)
            m.itmExit->trigger();
        else
            m.close();
        QCOMPARE(fileBytes("OXL.ini").toHex(' '), QByteArray("2c 01 00 00"));
        QSettings ini("OXLCom.ini", QSettings::IniFormat);
        QCOMPARE(ini.value("ComPort/Port").toString(), f.peer.path());
        QCOMPARE(ini.value("ComPort/BaudRate").toString(), QString("115200"));
        QVERIFY(!m.link().ComPort().isOpen());
    }

    void communicationsWindow() {
        AppFixture f;
        TMainFrm& m = f.start();
        // Typed text that is no entry counts as the first entry.
        m.Cfrm->cbScanTime->setEditText("75");
        m.Cfrm->btCloseClick();
        QCOMPARE(m.link().ScanTimeout, 50);
        QCOMPARE(m.Cfrm->cbScanTime->currentIndex(), 0);
        m.Cfrm->cbScanTime->setCurrentIndex(4);
        m.Cfrm->btCloseClick();
        QCOMPARE(m.link().ScanTimeout, 300);
        m.Cfrm->FormShow();
        QVERIFY(m.Cfrm->cbComPort->findText("DEMO") >= 0);
        AppFixture::screenshot(m.Cfrm, "communications");
    }

    void pickingAnotherPortEndsTheProgram() {
        AppFixture f;
        TMainFrm& m = f.start();
        m.Cfrm->FormShow();
        m.Cfrm->cbComPortChange(m.Cfrm->cbComPort->findText("DEMO"));
        QCOMPARE(m.shownMessages.last(), QString("The program must be restarted."));
        QSettings ini("OXLCom.ini", QSettings::IniFormat);
        QCOMPARE(ini.value("ComPort/Port").toString(), QString("DEMO"));
        QVERIFY(QFile::exists("OXL.ini"));
    }

    void aboutBoxVersion() {
        QCOMPARE(versionText(1, 3, 3), QString("1 .3 .3"));
        TfrmAbout about(nullptr, versionText(1, 0, 0));
        QCOMPARE(about.lbVersion->text(), QString("  Vers. 1 .0 .0"));
        TfrmAbout none(nullptr, QString());
        QCOMPARE(none.lbVersion->text(), QString("  Vers. Vers. Info not available"));
        AppFixture::screenshot(&about, "about");
    }
};

ORVEX_TEST(StartupTest)
#include "startup.moc"
