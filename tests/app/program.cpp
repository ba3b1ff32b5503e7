// The whole program with its windows, offscreen, on a scripted peer: start-up, the settings
// files, the communications window and exit.
#include "app/Placement.h"
#include "app/Places.h"
#include "link/ui/CommDialog.h"
#include "tests/support/AppFixture.h"
#include "tests/support/Expect.h"
#include "tests/support/Files.h"
#include "tests/support/TestMain.h"
#include "tests/support/Unanswered.h"

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QtTest>
#include <unistd.h>

namespace {
// Makes a folder unwritable (or writable again), as root too where the file system lets it;
// false when it cannot.
bool lockFolder(const QString& path, bool lock = true) {
    QFile::setPermissions(path, lock ? QFile::ReadOwner | QFile::ExeOwner
                                     : QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    if (geteuid() == 0)
        QProcess::execute("chattr", {lock ? "+i" : "-i", path});
    return QFileInfo(path).isWritable() != lock;
}

void type(QComboBox* box, const QString& text) {
    box->lineEdit()->clear();
    QTest::keyClicks(box->lineEdit(), text);
    QTest::keyClick(box->lineEdit(), Qt::Key_Return);
}
} // namespace

// Start-up, the settings files and exit, on a peer that never answers.
class StartupTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void firstStart() {
        AppFixture f;
        TMainFrm& m = f.start();
        QCOMPARE(fileBytes("OXL.ini").toHex(' '), QByteArray("32 00 00 00"));
        QCOMPARE(m.Cfrm->cbScanTime->currentText(), QString("50"));
        QVERIFY(m.shownMessages.isEmpty());
        // Nothing was said to the modules but the end of a console left open; the view waits.
        QCOMPARE(f.startBytes, Link::ConsoleEnd);
        QVERIFY(!m.pcModSwitch->isEnabled() && !m.btInfo->isEnabled());
        QCOMPARE(m.sbM[0]->text(), QString("?"));
        // Waiting for "Scan", the program sleeps and scans nothing by itself.
        const double cpu = cpuShareWhileIdle(1500);
        QVERIFY2(cpu < 0.1, qPrintable(QString::number(cpu)));
        QVERIFY(f.peer.received().isEmpty());
        m.itmSaveConfig->trigger();
        QCOMPARE(m.shownMessages, QStringList{"Unknown configuration. Rescan system."});
        // Nothing found: one subrack shown, two unanswered presence checks per slot. While
        // the second subrack is scanned, its page has its own tab.
        bool ownTab = true;
        QObject::connect(m.statusProgress, &QProgressBar::valueChanged, [&](int done) {
            ownTab &= done <= 16 ||
                      (m.pcModSwitch->currentIndex() == 1 && m.pcModSwitch->isTabVisible(1));
        });
        f.scan();
        QCOMPARE(m.statusText(), QString("No Active Modules found"));
        QVERIFY(ownTab && !m.pcModSwitch->isTabVisible(1));
        QCOMPARE(m.sbM[5]->text(), QString("-"));
        QCOMPARE(f.peer.frames().size(), 64);
    }

    void storedTimeout_data() {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<int>("timeout");
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("said"); // in a message box, else in the status bar
        QTest::newRow("listed") << QByteArray::fromHex("c8000000") << 200 << "200"
                                << "";
        QTest::newRow("zero") << QByteArray::fromHex("00000000") << 50 << "50"
                              << "";
        QTest::newRow("short") << QByteArray::fromHex("c800") << 50 << "50"
                               << "Init File accessing error";
        QTest::newRow("noise") << QByteArray::fromHex("15cd5b07") << 50 << "50"
                               << "The scan time-out in OXL.ini (123456789 ms) is out of range: "
                                  "50 ms is used.";
    }
    void storedTimeout() {
        QFETCH(QByteArray, stored);
        AppFixture f;
        QVERIFY(writeFile("OXL.ini", stored));
        TMainFrm& m = f.start();
        QTEST(m.link().ScanTimeout, "timeout");
        QTEST(m.Cfrm->cbScanTime->currentText(), "box");
        QFETCH(QString, said);
        QCOMPARE(said.startsWith("The scan") ? m.statusText() : m.shownMessages.join('/'), said);
        QCOMPARE(m.link().ReplyTimeout, m.link().ScanTimeout);
    }

    void serviceSwitch_data() {
        QTest::addColumn<QString>("arg");
        QTest::addColumn<int>("offered"); // service commands
        QTest::newRow("other") << "/x" << 1;
        QTest::newRow("/K") << "/K" << 5;
    }
    void serviceSwitch() {
        QFETCH(QString, arg);
        AppFixture f({}, {"orvex-link", arg});
        TMainFrm& m = f.start();
        QStringList items;
        for (QAction* a : m.statusMenu->actions())
            if (a->isVisible() && a->isEnabled() && !a->isSeparator() && a != m.LineMonitor)
                items << a->text();
        QFETCH(int, offered);
        QVERIFY2(items.size() == offered, qPrintable(items.join(", ")));
        if (arg != "/K")
            return;
        // "LineBreak" (its bytes: link.LinkTest::lineBreak), the port closed again.
        m.LineBreak->trigger();
        QCOMPARE(m.statusText(), QString("LineBreak sent."));
        QVERIFY(!m.link().ComPort().isOpen());
        QCOMPARE(m.link().ComPort().eventMask(), SerialPort::EventMask::RxFlag);
    }

    // A satellite window (panel, terminal, report) above the main window; the caption of
    // neither leaves the screen: the main window makes room. The desktop test sees the plain
    // stack and the drag to the top of the screen on a real window manager.
    void placement_data() {
        QTest::addColumn<QRect>("main");
        QTest::addColumn<int>("height");
        QTest::addColumn<QRect>("placedMain");
        QTest::addColumn<QRect>("satellite");
        const QRect m(40, 500, 611, 180);
        QTest::newRow("main off the left and bottom")
            << m.translated(-100, 600) << 135 << QRect(0, 588, 611, 180) << QRect(0, 453, 611, 135);
        QTest::newRow("report taller than the room")
            << m << 900 << QRect(40, 588, 611, 180) << QRect(40, 0, 611, 588);
    }
    // The line monitor keeps its height below the main window, else above the column (main
    // window and panel); where neither has room, it takes the larger room's height, and only
    // where that is too small goes over the column against the screen's edge.
    void placementBeside_data() {
        QTest::addColumn<int>("mainTop");
        QTest::addColumn<int>("columnTop");
        QTest::addColumn<int>("monitorTop");
        QTest::addColumn<int>("monitorHeight");
        QTest::newRow("below") << 100 << 0 << 280 << 300;
        QTest::newRow("above the panel") << 560 << 425 << 125 << 300;
        QTest::newRow("centred: more room below") << 294 << 294 << 474 << 294;
        QTest::newRow("more room above") << 450 << 250 << 0 << 250;
        QTest::newRow("no useful room") << 450 << 150 << 0 << 300;
    }
    void placementBeside() {
        QFETCH(int, mainTop);
        QFETCH(int, columnTop);
        const QRect placed =
            Placement::beside(QRect(40, mainTop, 611, 180), columnTop, 300, QRect(0, 0, 1024, 768));
        QTEST(placed.top(), "monitorTop");
        QTEST(placed.height(), "monitorHeight");
    }
    void placement() {
        QFETCH(QRect, main);
        QFETCH(int, height);
        const Placement::Stack s = Placement::stack(main, height, QRect(0, 0, 1024, 768));
        QTEST(s.main, "placedMain");
        QTEST(s.satellite, "satellite");
        QCOMPARE(Placement::mainBelow(s.satellite), s.main.topLeft());
    }

    // The time-out list takes only its own entries; the port list takes a terminal server's
    // name, remembers it and makes it the port; the port in use picked again changes nothing.
    void communicationsWindow() {
        LinkFixture f;
        f.link->ComPort().setPortName("DEMO");
        int exits = 0;
        TCfrm dialog(nullptr, *f.link, f.host, [&] { ++exits; });
        dialog.FormShow();
        type(dialog.cbScanTime, "75");
        QCOMPARE(dialog.cbScanTime->count(), 6);
        dialog.btCloseClick();
        QCOMPARE(f.link->ScanTimeout, 50);

        dialog.cbComPortChange(dialog.cbComPort->findText("DEMO"));
        // The list says what each port is.
        QCOMPARE(dialog.cbComPort->itemData(dialog.cbComPort->findText("DEMO"), Qt::ToolTipRole),
                 QVariant("demo head-end (simulator)"));
        type(dialog.cbComPort, "rfc2217://10.1.2.3:4001");
        QCOMPARE(exits, 1);
        QCOMPARE(f.host.messages.last(), QString("The program must be restarted."));

        // The next start offers it beside the machine's ports.
        HeadendSession next(f.host);
        next.link().LoadPortSettings();
        QCOMPARE(next.link().ComPort().portName(), QString("rfc2217://10.1.2.3:4001"));
        next.link().ComPort().setPortName("DEMO");
        TCfrm later(nullptr, next.link(), f.host, [] {});
        later.FormShow();
        QVERIFY(later.cbComPort->findText("rfc2217://10.1.2.3:4001") >= 0);
        QCOMPARE(later.cbComPort->currentText(), QString("DEMO"));
    }

    // Typed text that names neither a terminal server nor a character device is refused with
    // the reason (for a device: link.PortsTest), stays in the open window to be mended and
    // changes nothing (a name taken: communicationsWindow).
    void typedPort_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("refused");
        QTest::newRow("bare word") << "nonsense"
                                   << "/dev/nonsense: No such file or directory";
        QTest::newRow("remote without port")
            << "tcp://no-port-given"
            << "tcp://no-port-given: not a remote port (tcp://HOST:PORT, rfc2217://HOST:PORT, "
               "ssh://[USER@]HOST[:PORT][/LINE] or agent:SOCKET)";
        QTest::newRow("agent's line misnamed") << "ssh://site-box/tty USB0"
                                               << "ssh://site-box/tty USB0: an SSH port is "
                                                  "ssh://[USER@]HOST[:PORT][/LINE]";
    }
    void typedPort() {
        QFETCH(QString, typed);
        LinkFixture f;
        f.link->ComPort().setPortName("DEMO");
        int exits = 0;
        TCfrm dialog(nullptr, *f.link, f.host, [&] { ++exits; });
        dialog.show();
        type(dialog.cbComPort, typed);
        QCOMPARE(exits, 0);
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.cbComPort->currentText(), typed);
        QTEST(f.host.messages.value(0), "refused");
        QCOMPARE(f.link->ComPort().portName(), QString("DEMO"));
    }

    // The port in use is shown whole, whatever its form, and so is a name being typed.
    void portInUseShown_data() {
        QTest::addColumn<QString>("port");
        QTest::newRow("COM1") << "COM1";
        QTest::newRow("device path") << "/dev/ttyS3";
        QTest::newRow("stable name")
            << "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10KX3ZB-if00-port0";
        QTest::newRow("remote") << "rfc2217://[fd00::17]:4001";
    }
    void portInUseShown() {
        QFETCH(QString, port);
        LinkFixture f;
        f.link->ComPort().setPortName(port);
        TCfrm dialog(nullptr, *f.link, f.host, [] {});
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QLineEdit* edit = dialog.cbComPort->lineEdit();
        for (bool typed : {false, true}) {
            if (typed) {
                edit->clear();
                QTest::keyClicks(edit, port);
            }
            QCOMPARE(dialog.cbComPort->currentText(), port);
            edit->grab(); // painted as it is now: scrolled or not
            QCOMPARE(edit->cursorPositionAt(QPoint(3, edit->height() / 2)), 0); // from its start
            QVERIFY(dialog.rect().contains(dialog.cbComPort->geometry()));
        }
    }

    // Started from the menu the program works in its own folder below the data home.
    void dataHome() {
        QTemporaryDir home;
        const QString before = QDir::currentPath();
        qputenv("XDG_DATA_HOME", QFile::encodeName(home.path()));
        QByteArray args[] = {"orvex-link", "--data-home", "/k"};
        char* argv[] = {args[0].data(), args[1].data(), args[2].data(), nullptr};
        int argc = 3;
        QVERIFY(Places::takeDataHomeSwitch(argc, argv));
        QCOMPARE(argc, 2);
        QCOMPARE(QByteArray(argv[1]), QByteArray("/k"));
        QVERIFY(!Places::takeDataHomeSwitch(argc, argv));
        QString error;
        QVERIFY(Places::enterDataHome(&error));
        QCOMPARE(QDir::currentPath(), QDir(home.path()).filePath("orvex-link"));
        QVERIFY(QDir::setCurrent(before));
        qunsetenv("XDG_DATA_HOME");
    }

    // Started in a folder that cannot be written: it starts fully and says so once, works on
    // its line, refuses a port it could not keep, and exits when asked.
    void unwritableFolder() {
        AppFixture f;
        if (!lockFolder(f.dir.path()))
            QSKIP("this machine cannot make a folder unwritable");
        const auto unlock = qScopeGuard([&] { lockFolder(f.dir.path(), false); });
        TMainFrm& m = f.start();
        QCOMPARE(m.windowTitle(), QString("ORVEX Link"));
        QCOMPARE(m.shownMessages.size(), 1);
        EXPECT_STARTS(m.shownMessages.first(), "The folder " + f.dir.path() + " cannot be written");
        QCOMPARE(m.link().ScanTimeout, 50);
        QVERIFY(f.scan());
        QCOMPARE(m.statusText(), QString("No Active Modules found"));
        m.Cfrm->FormShow();
        m.Cfrm->cbComPortChange(m.Cfrm->cbComPort->findText("DEMO"));
        QCOMPARE(m.link().ComPort().portName(), f.peer.path());
        EXPECT_STARTS(m.shownMessages.last(), "The port cannot be changed: OXLCom.ini");
        m.shownMessages.clear();
        m.close();
        QVERIFY(m.shownMessages.isEmpty() && !QFile::exists("OXL.ini"));
        QVERIFY(!m.link().ComPort().isOpen());
    }

    // A terminal server that does not answer: the window is served while it connects, and
    // closing it stops the connect and ends the program without a word of the failure.
    void closedWhileConnecting() {
        Unanswered nobody;
        AppFixture f(QStringLiteral("tcp://127.0.0.1:%1").arg(nobody.port));
        QString status;
        QTimer poll; // served while it connects
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (!f.main().link().ComPort().connecting())
                return;
            poll.stop();
            status = f.main().windowTitle() + ": " + f.main().statusText();
            f.main().close();
        });
        poll.start(20);
        TMainFrm& m = f.start();
        QCOMPARE(status,
                 QString("ORVEX Link: Connecting to tcp://127.0.0.1:%1 …").arg(nobody.port));
        QVERIFY(runUntil([&] { return !m.isVisible(); }));
        QCOMPARE(m.shownMessages, QStringList());
        EXPECT_HAS(m.link().ComPort().errorString(), "connecting was stopped");
    }

    // A connect that fails says so where it said that it was connecting.
    void connectRefused() {
        const QString name = QStringLiteral("tcp://127.0.0.1:%1").arg(unusedPort());
        AppFixture f(name);
        TMainFrm& m = f.start();
        QVERIFY(runUntil([&] { return !m.link().ComPort().connecting(); }));
        EXPECT_STARTS(m.statusText(), "Not connected: " + name + ": ");
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
        way == 0 ? m.btClose->click() : way == 1 ? m.itmExit->trigger() : void(m.close());
        QCOMPARE(fileBytes("OXL.ini").toHex(' '), QByteArray("2c 01 00 00"));
        QSettings ini("OXLCom.ini", QSettings::IniFormat);
        QCOMPARE(ini.value("ComPort/Port").toString(), f.peer.path());
        QVERIFY(!m.link().ComPort().isOpen());
    }
};

ORVEX_TEST(StartupTest)
#include "program.moc"
