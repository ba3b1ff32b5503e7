// The communications window: its two lists and what typing into them does.
#include "link/ui/CommDialog.h"
#include "tests/support/LinkFixture.h"
#include "tests/support/TestMain.h"

#include <QComboBox>
#include <QLineEdit>
#include <QtTest>

namespace {
void type(QComboBox* box, const QString& text) {
    box->lineEdit()->clear();
    QTest::keyClicks(box->lineEdit(), text);
    QTest::keyClick(box->lineEdit(), Qt::Key_Return);
}
} // namespace

class CommDialogTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
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
        type(dialog.cbComPort, "nonsense");
        QCOMPARE(exits, 0);
        QVERIFY(f.host.messages.isEmpty());
        type(dialog.cbComPort, "tcp://no-port-given");
        QCOMPARE(exits, 0);
        QCOMPARE(f.host.errorFlags, QList<bool>{true});
        type(dialog.cbComPort, "rfc2217://10.1.2.3:4001");
        QCOMPARE(exits, 1);
        QCOMPARE(f.host.messages.last(), QString("The program must be restarted."));

        // The next start offers it beside the machine's ports.
        ModuleTable modules;
        SharedState state;
        Link next(modules, state, f.host);
        next.LoadPortSettings();
        QCOMPARE(next.ComPort().portName(), QString("rfc2217://10.1.2.3:4001"));
        next.ComPort().setPortName("DEMO");
        TCfrm later(nullptr, next, f.host, [] {});
        later.FormShow();
        QVERIFY(later.cbComPort->findText("rfc2217://10.1.2.3:4001") >= 0);
        QCOMPARE(later.cbComPort->currentText(), QString("DEMO"));
    }
};

ORVEX_TEST(CommDialogTest)
#include "dialog.moc"
