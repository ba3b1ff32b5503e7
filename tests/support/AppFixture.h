#pragma once

#include "app/Program.h"
#include "html/ui/PagesMessage.h"
#include "link/DemoHeadend.h"
#include "link/HeadendScan.h"
#include "sim/SimDemo.h"
#include "tests/support/EventLoop.h"
#include "tests/support/LinkFixture.h"

#include <QComboBox>
#include <QPushButton>
#include <QToolButton>
#include <memory>

// The whole program on a port of the test's choosing (else the scripted peer), in a fresh
// current directory, its message boxes recorded instead of shown.
struct AppFixture : PeerInFreshDir {
    explicit AppFixture(const QString& port = {}, const QStringList& args = {"orvex-link"})
        : arguments(args) {
        DemoHeadend::setStarter(SimDemo::terminal); // as the program's main does
        writePort(port.isEmpty() ? peer.path() : port);
        // Measured values are read again only where a test asks for it: a background read
        // would put frames of its own between the ones a test expects.
        QSettings(QStringLiteral("OXLCom.ini"), QSettings::IniFormat)
            .setValue(QStringLiteral("Live/RefreshSeconds"), 0);
    }
    ~AppFixture() {
        PagesMessage::setRecorder({});
        program.reset();
    }
    // Creates the windows and lets the first idle call run the initialisation.
    TMainFrm& start() {
        program.reset(); // a program started again takes over from the one before
        program = std::make_unique<Program>();
        TMainFrm& m = program->MainFrm;
        m.autoCloseMessages = true;
        PagesMessage::setRecorder([&m](const QString& text) { m.shownMessages << text; });
        QObject::connect(&m.messageLog, &MessageLog::added, [this](const MessageLog::Entry& e) {
            rereads += e.text == QStringLiteral("Reloading parameters values");
            scanEnded |= e.text == ScanResultText(main().state().FoundCount);
            scanStopped |= e.kind == MessageLog::Kind::Error;
        });
        m.setArguments(arguments);
        settle();
        // What start-up said on the line (the console's end, once the port is open), taken off
        // the peer's record.
        if (m.link().ComPort().isOpen() && m.link().ComPort().portName() == peer.path())
            peer.waitForFrames(2);
        startBytes = peer.received();
        peer.clearReceived();
        return m;
    }
    TMainFrm& main() { return program->MainFrm; }
    // "Scan", then the work loop until the scan has ended; true when it showed what it found.
    bool scan() {
        main().btRestart->click();
        return scanned();
    }
    // Serves the work loop until a scan (the user's, or one the program asked for) has ended,
    // with the check after it: true when it showed what it found ("12 Modules found"), false
    // when it stopped with an error message.
    bool scanned() {
        scanEnded = scanStopped = false;
        runUntil([&] { return scanEnded || scanStopped; }, 60000);
        return scanEnded;
    }
    // A click on a slot, then the idle step as it runs before a user's next action.
    void click(int g, int s) {
        main().pcModSwitch->setCurrentIndex(g);
        main().slotButton(g, s)->click();
        settle();
    }
    // The open panel's control of a parameter.
    template <class W = QComboBox> W* control(int index) {
        return qobject_cast<W*>(program->CtlPanelFrm.ParamControls.value(index).data());
    }

    QByteArray startBytes;
    QStringList arguments;
    // The work loop's re-reads of the current module so far, as the status bar says them.
    int rereads = 0;
    bool scanEnded = false, scanStopped = false;
    std::unique_ptr<Program> program;
};
