// The control panel built from a module record on a link to a scripted peer: the cells as
// the user sees them, and what editing puts on the line, shows and asks of the work loop.
#include "module/Parsers.h"
#include "panel/CtlPanelFrm.h"
#include "panel/PanelHost.h"
#include "panel/ParamSpinBox.h"
#include "tests/module/Wire.h"
#include "tests/support/EventLoop.h"
#include "tests/support/Expect.h"
#include "tests/support/LinkFixture.h"
#include "tests/support/TestMain.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

namespace {
const QByteArray kLevel = "@D@|Level|-300|5|121|2|dB~"; // -3.00 .. 3.00 dB
const QColor kRed(255, 0, 0);

// What the main window does for the panel, reduced to what a test looks at.
struct Host : PanelHost {
    void placePanel() override {}
    void openTerminalFromPanel() override { ++terminalOpened; }
    void setDiagEnabled(bool enabled) override { diagEnabled = enabled; }
    int terminalOpened = 0;
    bool diagEnabled = true;
};

// The panel with the current module in slot index 4 of subrack 0; the peer acknowledges every
// frame.
struct Panel : LinkFixture {
    Panel() : panel(nullptr, *link, modules, state, panelHost, host) {
        peer.setResponder(PtyPeer::acknowledge);
        state.CurSlot = 4;
        if (!open())
            qFatal("Panel: the link does not open");
        link->ReplyTimeout = 150;
    }
    // The current module from parameter lines written as in Wire.h, values in order.
    TModule& module(const QByteArray& lines, const QList<int>& values = {}, bool build = true) {
        TModule& m = modules.renew(4, 0);
        ParseInfoBlock(m, rx("%TYPE|P1|0|" + lines + "$"));
        for (int i = 0; i < values.size(); ++i)
            m.Params[i].Values[0] = values[i];
        if (build)
            panel.BuildPanel();
        return m;
    }
    // Every frame the peer received, control bytes written as in Wire.h: "!50|61~ !6~".
    QString sent() const {
        QStringList out;
        for (QByteArray f : peer.frames())
            out << QString::fromLatin1(f.replace('\n', '|').replace('\r', '~'));
        return out.join(' ');
    }
    template <class W = ParamSpinBox> W* control(int index = 0) const {
        return qobject_cast<W*>(panel.ParamControls.value(index).data());
    }
    // Types text into the spin box (as pasted) and presses Enter.
    void enter(const QString& text) {
        control()->findChild<QLineEdit*>()->setText(text);
        QTest::keyClick(control(), Qt::Key_Return);
    }
    Host panelHost;
    TCtlPanelFrm panel;
};
} // namespace

class PanelTest : public QObject {
    Q_OBJECT
    std::unique_ptr<Panel> f;

    // One cell as the user sees it: control class and text, whether disabled, label.
    QString describe(int index) const {
        QWidget* w = f->panel.ParamControls.value(index);
        QString text = w->property("text").toString(); // spin box, button or label
        if (auto* spin = qobject_cast<ParamSpinBox*>(w)) {
            text += QString(" [%1..%2]").arg(spin->minimum()).arg(spin->maximum());
        } else if (auto* list = qobject_cast<QComboBox*>(w)) {
            QStringList items;
            for (int i = 0; i < list->count(); ++i)
                items << list->itemText(i);
            text = items.join(',') + QString(" @%1").arg(list->currentIndex());
        }
        const QLabel* label = f->panel.ParamLabels.value(index);
        return QString("%1 '%2' %3/ '%4'")
            .arg(QString::fromLatin1(w->metaObject()->className()), text,
                 w->isEnabled() ? QString() : QString("disabled "),
                 label ? label->text() : QStringLiteral("none"));
    }

private Q_SLOTS:
    void init() { f = std::make_unique<Panel>(); }
    void cleanup() { f.reset(); }

    void cells_data() {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("cell");
        QTest::newRow("numeric") << kLevel << 60 << "ParamSpinBox '0.00 [-3..3]' / 'Level dB'";
        QTest::newRow("segmented") << QByteArray("@S@|Channel|2|3|E^1|2|S^0|1|X^~") << 3
                                   << "QComboBox 'E2,E3,E4,S1,S2,X @3' / 'Channel'";
        QTest::newRow("off, disabled")
            << QByteArray("@BD|Output~") << 1 << "QComboBox 'On,Off @1' disabled / 'Output'";
        QTest::newRow("error entry") << QByteArray("junk~") << 0 << "QLabel 'ERROR' / ''";
    }
    void cells() {
        QFETCH(QByteArray, line);
        QFETCH(int, value);
        f->module(line, {value});
        QTEST(describe(0), "cell");
    }

    void typedValue_data() {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("frames");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("message");
        const auto row = [](const char* name, const QByteArray& line, int value, const char* text,
                            const char* frames, const char* shown, const char* message) {
            QTest::newRow(name) << line << value << QString(text) << QString(frames)
                                << QString(shown) << QString(message);
        };
        const QByteArray whole = "@DP|Gain|70|1|41|0|dB~"; // 70 .. 110
        // Scaled in decimal: 0.29 * 100 in binary is 28.999..., which truncation would make 28.
        row("binary fraction", "@DP|F|0|1|100|2|~", 0, "0.29", "!50|29~", "0.29", "");
        row("not a number", whole, 5, "7-", "", "7-", "'7-' is not a valid floating point value");
        row("not typable", "@D@|Gain|70|1|41|0|dB~", 5, "100", "", "100", "");
    }
    void typedValue() {
        QFETCH(QByteArray, line);
        QFETCH(int, value);
        QFETCH(QString, text);
        QFETCH(QString, message);
        f->module(line, {value});
        f->enter(text);
        QTEST(f->sent(), "frames");
        QTEST(f->control()->text(), "shown");
        QCOMPARE(f->host.messages.join('/'), message);
        // A number taken or refused: the work loop reads the module again, a commit follows.
        const bool reread = message.isEmpty() ? line.startsWith("@DP") : !message.startsWith("'");
        QCOMPARE(f->state.ReloadRequest && f->state.SkipInfoReload, reread);
        QCOMPARE(f->panel.tmEEPROM.isActive(), reread);
        QCOMPARE(f->modules.at(4, 0)->Params[0].Values[0], value); // the re-read brings it
    }

    // A number typed without Enter is not written: once the focus leaves its box, the box shows
    // what the module holds again and the status bar says so.
    void typedWithoutEnter() {
        f->module("@DP|Gain|70|1|41|0|dB~", {5});
        f->panel.show();
        QApplication::setActiveWindow(&f->panel);
        f->control()->setFocus();
        f->control()->findChild<QLineEdit*>()->setText("100");
        f->control()->clearFocus();
        QCOMPARE(f->control()->text(), "75");
        QCOMPARE(f->sent(), "");
        QCOMPARE(f->host.status,
                 "Gain: 100 was not written (a typed value is written with Enter).");
    }

    // Steps (keys or the arrow buttons alike) are written at once and committed once, after the
    // last; a step at the top still commits; a failed step shows the old value in red and asks for
    // a re-read.
    void steps() {
        f->module(kLevel, {60});
        f->panel.show();
        QTest::keyClick(f->control(), Qt::Key_Up);
        QTest::keyClick(f->control(), Qt::Key_Up);
        QTest::keyClick(f->control(), Qt::Key_Up);
        QCOMPARE(f->sent(), "!50|61~ !50|62~ !50|63~");
        QCOMPARE(f->control()->text(), "0.15");
        QTRY_COMPARE(f->sent(), "!50|61~ !50|62~ !50|63~ !6~");
        QVERIFY(!f->panel.tmEEPROM.isActive()); // nothing more to come
        f->peer.clearReceived();
        f->module(kLevel, {120});
        QTest::keyClick(f->control(), Qt::Key_Up);
        QCOMPARE(f->control()->text(), "3.00");
        QTRY_COMPARE(f->sent(), "!6~");
        f->peer.clearReceived();
        f->peer.setResponder({});
        f->module(kLevel, {60});
        QTest::keyClick(f->control(), Qt::Key_Down);
        QCOMPARE(f->sent(), "!50|59~");
        QCOMPARE(f->control()->text(), "0.00");
        QCOMPARE(f->control()->palette().color(QPalette::Text), kRed);
        QVERIFY(f->state.ReloadRequest && f->state.SkipInfoReload);
    }

    // A list change is committed at once: no re-read, no commit left pending. The type list of
    // an "XXX" module goes out as parameter 90 and asks for a new scan.
    void listChange_data() {
        QTest::addColumn<QByteArray>("block");
        QTest::addColumn<QString>("type");
        QTest::addColumn<int>("entry");
        QTest::addColumn<QString>("frames");
        QTest::newRow("off") << QByteArray("@B@|Output~") << "" << 1 << "!50|1~ !6~";
        QTest::newRow("segmented")
            << QByteArray("@B@|A~@S@|Ch|2|3|E^1|2|S^~") << "" << 4 << "!51|4~ !6~";
        QTest::newRow("module type")
            << QByteArray("@E@|Type|A|B|C|~") << "XXX" << 2 << "!5Z|2~ !6~";
    }
    void listChange() {
        QFETCH(QByteArray, block);
        QFETCH(QString, type);
        QFETCH(int, entry);
        TModule& m = f->module(block, {}, false);
        if (!type.isEmpty())
            m.TypeName = type;
        f->panel.BuildPanel();
        const int index = m.ParamCount - 1;
        f->panel.SetCommitTimer(true); // a commit pending from earlier spin presses
        f->control<QComboBox>(index)->setCurrentIndex(entry);
        QTEST(f->sent(), "frames");
        QVERIFY(!f->state.ReloadRequest);
        QCOMPARE(f->panel.RestartRequest, !type.isEmpty());
        if (type.isEmpty()) // a new type leaves a pending commit to its timer
            QVERIFY(!f->panel.tmEEPROM.isActive());
        QCOMPARE(m.Params[index].Values[0], entry);
        QVERIFY(!m.Dirty);
    }

    // A list write the module does not answer leaves the list on the new entry, in red.
    void failedListWrite() {
        f->peer.setResponder({});
        f->module("@B@|Output~");
        auto* list = f->control<QComboBox>(0);
        list->setCurrentIndex(1);
        QCOMPARE(f->sent(), "!50|1~");
        QCOMPARE(list->currentIndex(), 1);
        QCOMPARE(list->palette().color(QPalette::Text), kRed);
        QCOMPARE(f->modules.diagLines(4, 0), QStringList{"Error writing parameter value"});
    }

    // Neither the commit tick, nor Enter, nor a button sends while a write waits for its
    // reply; the commit follows once the line is free. A panel cleared meanwhile loses the
    // old control without the handler touching the new cells.
    void whileAWriteWaits() {
        f->link->ReplyTimeout = 5000;
        f->peer.queue({});
        f->module("@DP|Level|-300|5|121|2|dB~", {60});
        QStringList during;
        QTimer::singleShot(0, [&] { // inside the wait of the first write, once it is out
            runUntil([&] { return f->peer.frames().size() == 1; });
            f->panel.tmEEPROMTimer();
            during << f->sent() << QString::number(f->panel.tmEEPROM.isActive());
            f->enter("1");
            QTest::keyClick(f->control(), Qt::Key_Up);
            during << f->sent();
            f->peer.send("\x06");
        });
        QTest::keyClick(f->control(), Qt::Key_Up);
        QCOMPARE(during, (QStringList{"!50|61~", "1", "!50|61~"}));
        QTRY_COMPARE(f->sent(), "!50|61~ !6~");
        f->peer.clearReceived();
        f->peer.queue({});
        QPointer<ParamSpinBox> old = f->control();
        QTimer::singleShot(0, [&] {
            runUntil([&] { return f->peer.frames().size() == 1; });
            f->panel.BuildPanel();
            f->peer.send("\x06");
        });
        QTest::keyClick(old, Qt::Key_Up);
        QCOMPARE(f->sent(), "!50|62~");
        QCOMPARE(f->panel.controlCount(), 2);
        QVERIFY(f->control() != old);
        QCOMPARE(f->control()->text(), "0.10"); // built from the stepped record
        QVERIFY(runUntil([&] { return old.isNull(); }));
    }

    // The pending commit goes out before the terminal takes the line; a tick while the
    // terminal holds it leaves the console alone.
    void terminalButtonHandsOver() {
        f->module(kLevel + "@T@|Console~", {60});
        f->panel.show();
        QTest::keyClick(f->control(), Qt::Key_Up);
        QTest::mouseClick(f->control<QPushButton>(1), Qt::LeftButton);
        QCOMPARE(f->sent(), "!50|61~ !6~");
        QVERIFY(!f->link->ComPort().isOpen() && !f->panel.tmEEPROM.isActive());
        QVERIFY(!f->panel.isVisible() && !f->panel.PanelShown && !f->panelHost.diagEnabled);
        QCOMPARE(f->panelHost.terminalOpened, 1);
        f->state.TerminalMode = true;
        f->panel.tmEEPROMTimer();
        QVERIFY(!f->link->ComPort().isOpen());
        QCOMPARE(f->peer.frames().size(), 2);
    }

    // A record that lost a parameter under the panel, a port that cannot be opened: messages,
    // nothing on the line.
    void errorsBecomeMessages() {
        f->module("@D@|A|0|1|10|0|~@D@|B|0|1|10|0|~");
        f->module("@D@|A|0|1|10|0|~", {}, false);
        QTest::keyClick(f->control(1), Qt::Key_Up);
        f->link->closePort();
        f->link->ComPort().setPortName(f->dir.filePath("no-such-port"));
        QTest::keyClick(f->control(0), Qt::Key_Up);
        QCOMPARE(f->sent(), QString());
        QCOMPARE(f->host.messages.size(), 2);
        EXPECT_STARTS(f->host.messages[1], "The serial port cannot be opened");
        // Nothing is left holding the line: with the port back, the next step goes out.
        f->link->ComPort().setPortName(f->peer.path());
        QTest::keyClick(f->control(0), Qt::Key_Up);
        QCOMPARE(f->sent(), "!50|1~");
    }
};

ORVEX_TEST(PanelTest)
#include "panel.moc"
