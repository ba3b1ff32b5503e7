#include "app/MainWindow.h"

#include "app/AboutBox.h"
#include "app/IdleDriver.h"
#include "app/Led.h"
#include "app/TerminalFrm.h"
#include "link/EventWait.h"
#include "link/ui/CommDialog.h"
#include "panel/CtlPanelFrm.h"
#include "panel/GradientCaption.h"
#include "panel/WindowFrame.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTime>
#include <QToolButton>

TMainFrm::TMainFrm(QWidget* parent)
    : QWidget(parent), m_session(*this), m_args(QCoreApplication::arguments()) {
    setObjectName(QStringLiteral("MainFrm"));
    buildLayout();
    connectCommands();
    connectFileMenu();
    connectLineViews();
    connectKeyboard();
    m_idle = new IdleDriver([this] { IdleProc(); }, this);
    // A terminal server that is slow to answer must not freeze the window.
    m_link.ComPort().setOpenInBackground(true);
    // The next command opens the port again once the adapter is back.
    connect(&m_link, &Link::portLost, this, [this](const QString& reason) {
        SetStatus(QStringLiteral("Serial port lost at %1 (%2)")
                      .arg(QTime::currentTime().toString(QStringLiteral("HH:mm:ss")), reason));
        // A console on a dead line is of no use: close it, the main window takes over.
        if (TerminalFrm && TerminalFrm->isVisible())
            TerminalFrm->close();
    });
    IdleState = 0;
    configExtension = QStringLiteral("mmh");
    configFilter =
        QStringLiteral("HeadEnd config. files") + QStringLiteral("|*.") + configExtension;
    new KeptPosition(this);
    // Centred on the screen, with or without a window manager to place it.
    move(screenArea().center() - rect().center());
    show();
}

TMainFrm::~TMainFrm() = default;

void TMainFrm::attach(TCtlPanelFrm* panel, TTerminalFrm* terminal, TCfrm* comm, TfrmAbout* about) {
    CtlPanelFrm = panel;
    TerminalFrm = terminal;
    Cfrm = comm;
    frmAbout = about;
    connectSatellites();
}

void TMainFrm::SetStatus(const QString& text) {
    statusLabel->setText(text);
    messageLog.status(text);
}

QString TMainFrm::statusText() const {
    return statusLabel->text();
}

void TMainFrm::EnableControls(bool flag) {
    const QList<QWidget*> controls{pcModSwitch, btRestart, btInfo, btClose, statusBar, ldReady};
    for (QWidget* w : controls)
        w->setEnabled(flag);
    for (QToolButton* b : sbM)
        b->setEnabled(flag);
    for (QLabel* l : slotLabels)
        l->setEnabled(flag);
    mnFile->menuAction()->setEnabled(flag);
    mnPort->menuAction()->setEnabled(flag);
    btInfo->setEnabled(false);
}

void TMainFrm::showMessage(const QString& text, bool error) {
    shownMessages << text;
    messageLog.message(text, error);
    if (autoCloseMessages)
        return;
    MessageDialog box(this, QStringLiteral("ORVEX Link"), text, error);
    box.exec();
}

bool TMainFrm::ask(const QString& text, const QString& yes) {
    shownQuestions << text;
    if (autoCloseMessages)
        return questionAnswer;
    MessageDialog box(this, QStringLiteral("ORVEX Link"), text, false, yes);
    return box.exec() == QDialog::Accepted;
}

void TMainFrm::rearmCommitTimer() {
    if (CtlPanelFrm)
        CtlPanelFrm->tmEEPROM.start(500);
}

void TMainFrm::pause(int ms) {
    EventWait::pause(ms);
}

void TMainFrm::progress(int value, int max) {
    statusProgress->setVisible(max > 0);
    if (max > 0) {
        statusProgress->setRange(0, max);
        statusProgress->setValue(value);
    }
}

void TMainFrm::guarded(const std::function<void()>& action) {
    try {
        action();
    } catch (const OrvexError& e) {
        showMessage(e.text(), true);
    } catch (const std::exception& e) {
        showMessage(QString::fromLocal8Bit(e.what()), true);
    }
}

TMainFrm::Busy::Busy(TMainFrm& main, const QString& what)
    : m_main(main), m_operation(main.m_session, what) {}

TMainFrm::Busy::~Busy() {
    // Nothing else starts: the next idle step closes the program.
    if (m_operation.outermost() && m_main.m_closeRequested)
        m_main.IdleState = 1;
}

void TMainFrm::closeEvent(QCloseEvent* e) {
    // Closing in the middle of an exchange would leave a module half loaded: the request
    // waits for the work at hand.
    if (m_session.busy()) {
        e->ignore();
        m_link.ComPort().stopConnecting(); // nothing was sent yet: no need to wait for it
        const QString what =
            m_session.running().isEmpty() ? QStringLiteral("exchange") : m_session.running();
        if (!std::exchange(m_closeRequested, true)) {
            SetStatus(QStringLiteral("Closing once the %1 has ended. Close again to stop it "
                                     "after the module at hand.")
                          .arg(what));
        } else if (!m_stopRequested) {
            m_stopRequested = true;
            SetStatus(QStringLiteral("Stopping the %1 after the module at hand; then closing.")
                          .arg(what));
        }
        return;
    }
    if (!m_closing)
        guarded([this] { btCloseClick(); });
    e->accept();
}

void TMainFrm::changeEvent(QEvent* e) {
    if (e->type() == QEvent::ActivationChange)
        RxGCaption->setActive(isActiveWindow());
    if (e->type() == QEvent::WindowStateChange && CtlPanelFrm) {
        const bool was = static_cast<QWindowStateChangeEvent*>(e)->oldState() & Qt::WindowMinimized;
        if (isMinimized() && !was)
            minimiseSatellites();
        else if (!isMinimized() && was)
            restoreSatellites();
    }
    QWidget::changeEvent(e);
}
