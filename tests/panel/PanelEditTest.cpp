#include "panel/ParamSpinBox.h"
#include "tests/panel/PanelFixture.h"
#include "tests/support/EventLoop.h"
#include "tests/support/TestMain.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStyleOptionSpinBox>
#include <QTest>

namespace {
const QByteArray kAck("\x06");
const QByteArray kLevel = "%TYPE|P1|0|@D@|Level|-300|5|121|2|dB~$"; // -3.00 .. 3.00 dB
const QColor kRed(255, 0, 0);

QPoint buttonCentre(const QAbstractSpinBox& box, QStyle::SubControl button) {
    QStyleOptionSpinBox opt;
    opt.initFrom(&box);
    opt.frame = true;
    opt.subControls = QStyle::SC_SpinBoxUp | QStyle::SC_SpinBoxDown;
    opt.stepEnabled = QAbstractSpinBox::StepUpEnabled | QAbstractSpinBox::StepDownEnabled;
    return box.style()->subControlRect(QStyle::CC_SpinBox, &opt, button, &box).center();
}
} // namespace

// Editing on the panel: what goes on the line, what the controls show, what the work loop is
// asked to do.
class PanelEditTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<PanelFixture> f;
    ParamSpinBox* spin(int index = 0) const { return f->control<ParamSpinBox>(index); }
    void answerAll() {
        f->peer.setResponder([](const QByteArray&) { return PtyPeer::Reply{kAck}; });
    }
    QString sent() const { return QString::fromLatin1(f->sent().join(' ')); }

private slots:
    void init() {
        f = std::make_unique<PanelFixture>();
        QVERIFY(f->link->OpenLink());
        f->link->ReplyTimeout = 150;
    }
    void cleanup() {
        f.reset();
        QLocale::setDefault(QLocale::c());
    }

    void typedValue_data();
    void typedValue();
    void typingFilter_data();
    void typingFilter();
    void upPressesCommitOnceAfterTheLast();
    void pressAtTheTopStillCommits();
    void failedStepShowsOldValueInRed();
    void listChange_data();
    void listChange();
    void failedListWrite();
    void tickWaitsForTheRunningCommand();
    void clearedWhileWriting();
    void terminalButtonHandsOver();
    void errorsBecomeMessages();
};

void PanelEditTest::typedValue_data() {
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("frames");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("reload");
    const QByteArray whole = "@DP|Gain|70|1|41|0|dB~";   // 70 .. 110
    const QByteArray tenths = "@DP|Gain|470|5|11|1|dB~"; // 47.0 .. 52.0
    QTest::newRow("truncated") << whole << 5 << "110.9"
                               << "!50|40~"
                               << "110"
                               << "" << true;
    QTest::newRow("below") << whole << 5 << "69.9"
                           << ""
                           << "75"
                           << "Gain must be between 70 and 110 dB" << true;
    QTest::newRow("beyond 32 bits") << whole << 5 << "1e20"
                                    << ""
                                    << "75"
                                    << "Gain must be between 70 and 110 dB" << true;
    QTest::newRow("no units") << QByteArray("@DP|Gain|70|1|41|0|~") << 5 << "111"
                              << ""
                              << "75"
                              << "Gain must be between 70 and 110 " << true;
    QTest::newRow("below the step") << tenths << 4 << "47.3"
                                    << "!50|0~"
                                    << "47.0"
                                    << "" << true;
    QTest::newRow("upper bound") << tenths << 0 << "52"
                                 << "!50|10~"
                                 << "52.0"
                                 << "" << true;
    QTest::newRow("general format") << tenths << 4 << "46.9"
                                    << ""
                                    << "49.0"
                                    << "Gain must be between 47 and 52 dB" << true;
    // Scaled in decimal: 0.29 * 100 in binary is 28.999..., which truncation would make 28.
    QTest::newRow("binary fraction") << QByteArray("@DP|F|0|1|100|2|~") << 0 << "0.29"
                                     << "!50|29~"
                                     << "0.29"
                                     << "" << true;
    QTest::newRow("binary fraction at the bound") << QByteArray("@DP|F|0|1|12|1|~") << 0 << "1.1"
                                                  << "!50|11~"
                                                  << "1.1"
                                                  << "" << true;
    QTest::newRow("five decimals") << QByteArray("@DP|F|100000|1|10|5|~") << 0 << "1.00003"
                                   << "!50|3~"
                                   << "1.00003"
                                   << "" << true;
    QTest::newRow("step 0") << QByteArray("@DP|F|5|0|1|0|~") << 0 << "5"
                            << "!50|0~"
                            << "5"
                            << "" << true;
    QTest::newRow("not a number") << whole << 5 << "7-"
                                  << ""
                                  << "7-"
                                  << "'7-' is not a valid floating point value" << false;
    QTest::newRow("not typable") << QByteArray("@D@|Gain|70|1|41|0|dB~") << 5 << "100"
                                 << ""
                                 << "100"
                                 << "" << false;
}

void PanelEditTest::typedValue() {
    QFETCH(QByteArray, line);
    QFETCH(int, value);
    QFETCH(QString, text);
    QFETCH(bool, reload);
    answerAll();
    f->build("%TYPE|P1|0|" + line + "$", {value});
    // Pasted: the keys for it may not all be typable.
    spin()->findChild<QLineEdit*>()->setText(text);
    QTest::keyClick(spin(), Qt::Key_Return);
    QTEST(sent(), "frames");
    QTEST(spin()->text(), "shown");
    QTEST(f->host.messages.join('/'), "message");
    QCOMPARE(f->state.ReloadRequest, reload);
    QCOMPARE(f->state.SkipInfoReload, reload);
    QCOMPARE(f->panel.tmEEPROM.isActive(), reload);
    QCOMPARE(f->modules.at(4, 0)->Params[0].Values[0], value); // the re-read brings the new one
}

void PanelEditTest::typingFilter_data() {
    QTest::addColumn<QString>("locale");
    QTest::addColumn<int>("decimals");
    QTest::addColumn<bool>("typing");
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("text");
    QTest::newRow("whole") << "C" << 0 << true << "-12+3.4e5x"
                           << "-12+345";
    QTest::newRow("one separator, one exponent") << "C" << 2 << true << "1.2.3e4E5x"
                                                 << "1.23e45";
    QTest::newRow("German separator") << "de_DE" << 2 << true << "1.5,2,3"
                                      << "15,23";
    QTest::newRow("typing off") << "C" << 2 << false << "12"
                                << "0.00";
}

void PanelEditTest::typingFilter() {
    QFETCH(QString, locale);
    QFETCH(int, decimals);
    QFETCH(bool, typing);
    QFETCH(QString, keys);
    QLocale::setDefault(QLocale(locale));
    ParamSpinBox box;
    box.setTypingEnabled(typing);
    box.setDecimals(decimals);
    box.setValue(0);
    box.findChild<QLineEdit*>()->selectAll();
    QTest::keyClicks(&box, keys);
    QTEST(box.text(), "text");
}

void PanelEditTest::upPressesCommitOnceAfterTheLast() {
    answerAll();
    f->build(kLevel, {60});
    QTest::keyClick(spin(), Qt::Key_Up);
    f->panel.show();
    QTest::mouseClick(spin(), Qt::LeftButton, {}, buttonCentre(*spin(), QStyle::SC_SpinBoxUp));
    QTest::keyClick(spin(), Qt::Key_Up);
    QCOMPARE(sent(), QStringLiteral("!50|61~ !50|62~ !50|63~"));
    QCOMPARE(spin()->text(), QStringLiteral("0.15"));
    QCOMPARE(spin()->palette().color(QPalette::Text),
             QApplication::palette().color(QPalette::Text));
    QCOMPARE(f->modules.at(4, 0)->Params[0].Values[0], 63);
    QVERIFY(runUntil([&] { return f->sent().size() == 4; }));
    QCOMPARE(f->sent().last(), QByteArray("!6~"));
    runFor(700);
    QCOMPARE(f->sent().size(), 4);
    QVERIFY(!f->panel.tmEEPROM.isActive());
}

void PanelEditTest::pressAtTheTopStillCommits() {
    answerAll();
    f->build(kLevel, {120});
    QTest::keyClick(spin(), Qt::Key_Up);
    QCOMPARE(sent(), QString());
    QCOMPARE(spin()->text(), QStringLiteral("3.00"));
    QVERIFY(runUntil([&] { return f->sent().size() == 1; }));
    QCOMPARE(sent(), QStringLiteral("!6~"));
}

void PanelEditTest::failedStepShowsOldValueInRed() {
    f->build(kLevel, {60});
    f->panel.show();
    QTest::mouseClick(spin(), Qt::LeftButton, {}, buttonCentre(*spin(), QStyle::SC_SpinBoxDown));
    QCOMPARE(sent(), QStringLiteral("!50|59~"));
    QCOMPARE(spin()->text(), QStringLiteral("0.00"));
    QCOMPARE(spin()->palette().color(QPalette::Text), kRed);
    QCOMPARE(f->modules.at(4, 0)->Params[0].Values[0], 59);
    QVERIFY(f->state.ReloadRequest);
    QVERIFY(f->state.SkipInfoReload);
}

void PanelEditTest::listChange_data() {
    QTest::addColumn<QByteArray>("block");
    QTest::addColumn<int>("entry");
    QTest::addColumn<QString>("frames");
    QTest::addColumn<bool>("reload");
    QTest::addColumn<bool>("restart");
    QTest::addColumn<bool>("timerKept");
    QTest::newRow("off") << QByteArray("%TYPE|P1|0|@B@|Output~$") << 1 << "!50|1~ !6~" << false
                         << false << false;
    QTest::newRow("reload flag") << QByteArray("%TYPE|P1|0|@BA|Output~$") << 1 << "!50|1~ !6~"
                                 << true << false << true;
    QTest::newRow("module type") << QByteArray("%XXX|P1|0|@E@|Type|A|B|C|~$") << 2 << "!5Z|2~ !6~"
                                 << false << true << true;
    QTest::newRow("segmented") << QByteArray("%TYPE|P1|0|@B@|A~@S@|Ch|2|3|E\x17"
                                             "1|2|S\x17~$")
                               << 4 << "!51|4~ !6~" << false << false << false;
}

void PanelEditTest::listChange() {
    QFETCH(QByteArray, block);
    QFETCH(int, entry);
    answerAll();
    const TModule& m = f->build(block);
    const int index = m.ParamCount - 1;
    f->panel.SetCommitTimer(true); // a commit pending from earlier spin presses
    f->control<QComboBox>(index)->setCurrentIndex(entry);
    QTEST(sent(), "frames");
    QTEST(f->state.ReloadRequest, "reload");
    QTEST(f->panel.RestartRequest, "restart");
    QTEST(f->panel.tmEEPROM.isActive(), "timerKept");
    QCOMPARE(m.Params[index].Values[0], entry);
    QVERIFY(!m.Dirty);
}

void PanelEditTest::failedListWrite() {
    const TModule& m = f->build("%TYPE|P1|0|@B@|Output~$");
    auto* list = f->control<QComboBox>(0);
    list->setCurrentIndex(1);
    QCOMPARE(sent(), QStringLiteral("!50|1~"));
    QCOMPARE(list->currentIndex(), 1);
    QCOMPARE(list->palette().color(QPalette::Text), kRed);
    QCOMPARE(m.Messages, QStringList{"Error writing parameter value"});
    QCOMPARE(f->modules.diagLines(4, 0), QStringList{"Error writing parameter value"});
    QVERIFY(!f->state.ReloadRequest);
}

// A tick that falls while a write waits for its reply sends nothing then; neither do Enter
// and the buttons. The commit follows once the line is free.
void PanelEditTest::tickWaitsForTheRunningCommand() {
    f->link->ReplyTimeout = 3000;
    f->peer.queue(kAck, 1500);
    answerAll();
    f->build("%TYPE|P1|0|@DP|Level|-300|5|121|2|dB~$", {60});
    QStringList during;
    QTimer::singleShot(100, [&] {
        f->panel.tmEEPROMTimer();
        during << sent() << QString::number(f->panel.tmEEPROM.isActive());
        spin()->findChild<QLineEdit*>()->setText("1");
        QTest::keyClick(spin(), Qt::Key_Return);
        QTest::keyClick(spin(), Qt::Key_Up);
        during << sent();
    });
    QTest::keyClick(spin(), Qt::Key_Up);
    QCOMPARE(during, (QStringList{"!50|61~", "1", "!50|61~"}));
    QVERIFY(runUntil([&] { return f->sent().size() == 2; }));
    QCOMPARE(sent(), QStringLiteral("!50|61~ !6~"));
}

// The main window may clear the panel while a write waits: the old control is taken away
// and its handler ends after the write without touching the new cells.
void PanelEditTest::clearedWhileWriting() {
    f->link->ReplyTimeout = 3000;
    f->peer.queue(kAck, 1000);
    f->build(kLevel, {60});
    QPointer<ParamSpinBox> old = spin();
    QTimer::singleShot(50, [&] { f->panel.BuildPanel(); });
    QTest::keyClick(old, Qt::Key_Up);
    QCOMPARE(sent(), QStringLiteral("!50|61~"));
    QCOMPARE(f->panel.controlCount(), 2);
    QVERIFY(spin() != old);
    QCOMPARE(spin()->text(), QStringLiteral("0.05")); // built from the stepped record
    QVERIFY(runUntil([&] { return old.isNull(); }));
}

void PanelEditTest::terminalButtonHandsOver() {
    answerAll();
    f->build("%TYPE|P1|0|@D@|Level|-300|5|121|2|dB~@T@|Console~$", {60});
    f->panel.show();
    QTest::keyClick(spin(), Qt::Key_Up);
    QTest::mouseClick(f->control<QPushButton>(1), Qt::LeftButton);
    // The pending commit goes out before the terminal takes the line.
    QCOMPARE(sent(), QStringLiteral("!50|61~ !6~"));
    QVERIFY(!f->link->ComPort().isOpen());
    QVERIFY(!f->panel.tmEEPROM.isActive());
    QCOMPARE(f->panel.CurParam, 1);
    QVERIFY(!f->panel.isVisible());
    QVERIFY(!f->panel.PanelShown);
    QVERIFY(!f->panelHost.diagEnabled);
    QCOMPARE(f->panelHost.terminalOpened, 1);
    // A tick while the terminal holds the line leaves the console alone.
    f->state.TerminalMode = true;
    f->panel.tmEEPROMTimer();
    QVERIFY(!f->link->ComPort().isOpen());
    QCOMPARE(f->sent().size(), 2);
}

void PanelEditTest::errorsBecomeMessages() {
    answerAll();
    f->build("%TYPE|P1|0|@D@|A|0|1|10|0|~@D@|B|0|1|10|0|~$");
    // The record lost a parameter under the panel's feet.
    f->module("%TYPE|P1|0|@D@|A|0|1|10|0|~$");
    QTest::keyClick(spin(1), Qt::Key_Up);
    // The port cannot be opened.
    f->link->closePort();
    f->link->ComPort().setPortName(f->dir.filePath("no-such-port"));
    QTest::keyClick(spin(0), Qt::Key_Up);
    QCOMPARE(sent(), QString());
    QCOMPARE(f->host.messages.size(), 2);
    QVERIFY(f->host.messages[1].startsWith("The serial port cannot be opened"));
    QCOMPARE(f->host.errorFlags, (QList<bool>{true, true}));
    QVERIFY(!f->link->LinkBusy);
}

ORVEX_TEST(PanelEditTest)
#include "PanelEditTest.moc"
