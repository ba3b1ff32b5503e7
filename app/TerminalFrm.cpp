#include "app/TerminalFrm.h"
#include "link/PortInfo.h"

#include "app/MainWindow.h"
#include "app/TerminalView.h"
#include "link/EventWait.h"
#include "panel/CtlPanelFrm.h"
#include "panel/GradientCaption.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QKeyEvent>
#include <QShowEvent>
#include <QVBoxLayout>

namespace {
// Pause between attempts to open the port.
constexpr int kConnectRetryMs = 50;

quint16 cursorCode(int key) {
    switch (key) {
    case Qt::Key_Left:
        return ConsoleLeft;
    case Qt::Key_Up:
        return ConsoleUp;
    case Qt::Key_Right:
        return ConsoleRight;
    case Qt::Key_Down:
        return ConsoleDown;
    default:
        return 0;
    }
}
} // namespace

TTerminalFrm::TTerminalFrm(TMainFrm& main)
    : SatelliteWindow(&main, QColor(0, 128, 128), true), m_main(main),
      m_console(main.link(), main.state(), main) {
    setObjectName(QStringLiteral("TerminalFrm"));
    captionBar()->setStartColor(QColor(0, 255, 255));
    Terminal = new TerminalView(Rows, content());
    Terminal->setObjectName(QStringLiteral("Terminal"));
    Terminal->setColors(QColor(255, 255, 255), QColor(0, 0, 0), QColor(255, 0, 0));
    auto* layout = new QVBoxLayout(content());
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(Terminal);
    connect(Terminal, &TerminalView::output, &m_console, &ConsoleSession::answer);
    connect(&m_console, &ConsoleSession::text, Terminal, &TerminalView::display);
    connect(&m_console, &ConsoleSession::ended, this, [this] {
        close();
        RestoreFlag = false;
    });
    resize(455 + 2 * Border, outerHeightFor(310));
    RestoreFlag = false;
    hide();
}

TTerminalFrm::~TTerminalFrm() {
    // A console still open is ended while the window is whole: ending it serves events.
    if (m_console.isOpen())
        endConsole();
}

void TTerminalFrm::showEvent(QShowEvent* e) {
    SatelliteWindow::showEvent(e);
    // The window system's own shows (after a minimise) do not start a console. Opening can
    // wait and show a message box, which must not happen inside the show itself.
    if (e->spontaneous())
        return;
    m_showPending = true;
    QMetaObject::invokeMethod(this, &TTerminalFrm::FormShow, Qt::QueuedConnection);
}

void TTerminalFrm::hideEvent(QHideEvent* e) {
    SatelliteWindow::hideEvent(e);
    if (!e->spontaneous())
        FormHide();
}

void TTerminalFrm::bindHandlers(bool bind) {
    if (!bind) {
        disconnect(Terminal, nullptr, this, nullptr);
        return;
    }
    connect(Terminal, &TerminalView::keyPressed, this, &TTerminalFrm::TerminalKeyPress,
            Qt::UniqueConnection);
    connect(Terminal, &TerminalView::keyDown, this, &TTerminalFrm::TerminalKeyDown,
            Qt::UniqueConnection);
    connect(Terminal, &TerminalView::pasted, this, &TTerminalFrm::TerminalPaste,
            Qt::UniqueConnection);
}

void TTerminalFrm::holdKeyboard(bool hold) {
    if (hold)
        qApp->installEventFilter(this);
    else
        qApp->removeEventFilter(this);
}

bool TTerminalFrm::eventFilter(QObject* watched, QEvent* e) {
    if (e->type() != QEvent::KeyPress && e->type() != QEvent::KeyRelease)
        return SatelliteWindow::eventFilter(watched, e);
    auto* w = qobject_cast<QWidget*>(watched);
    // Text fields keep their keys; so do dialogs, menus and the program's other windows.
    if (!w || w->testAttribute(Qt::WA_InputMethodEnabled) || QApplication::activeModalWidget() ||
        QApplication::activePopupWidget() || isAncestorOf(w) || w == this)
        return false;
    const QWidget* window = w->window();
    const bool ours = window == &m_main || (m_main.CtlPanelFrm && window == m_main.CtlPanelFrm);
    if (!ours)
        return false;
    if (e->type() == QEvent::KeyPress)
        QCoreApplication::sendEvent(Terminal, e);
    return true;
}

bool TTerminalFrm::openConsole() {
    const QDeadlineTimer limit(ConnectLimitMs);
    while (!m_console.tryOpen()) {
        if (limit.hasExpired())
            return false;
        EventWait::pause(kConnectRetryMs);
        // Closed while waiting: its closing has already run.
        if (!isVisible())
            return false;
    }
    return true;
}

void TTerminalFrm::FormShow() {
    if (!m_showPending || !isVisible())
        return;
    m_showPending = false;
    bindHandlers(true);
    if (!openConsole()) {
        if (!isVisible())
            return;
        // The work loop stops, so that the re-read asked for on closing does not try the
        // same port again and again.
        m_main.IdleState = 1;
        RestoreFlag = false;
        close();
        m_main.showMessage(Ports::notOpenedText(m_main.link().ComPort().errorString()), true);
        return;
    }
    holdKeyboard(true);
    takeKeyboard();
    m_main.EnableControls(false);
    RestoreFlag = false;
}

void TTerminalFrm::FormHide() {
    // Hidden before the opening ran: there is no console to end.
    if (m_showPending) {
        m_showPending = false;
        return;
    }
    holdKeyboard(false);
    if (m_console.isOpen()) {
        endConsole();
    } else {
        // The port never opened: no console to end, but the module is re-read all the same.
        bindHandlers(false);
        m_main.link().closePort();
        m_main.state().ReloadRequest = true;
    }
    m_main.setDiagEnabled(true);
    if (m_main.CtlPanelFrm)
        m_main.CtlPanelFrm->show();
    m_main.EnableControls(true);
    m_main.setDiagEnabled(true);
}

void TTerminalFrm::takeKeyboard() {
    raise();
    activateWindow();
    Terminal->setFocus(Qt::OtherFocusReason);
}

void TTerminalFrm::endConsole() {
    holdKeyboard(false);
    bindHandlers(false);
    m_console.close();
}

void TTerminalFrm::TerminalKeyPress(quint16& key) {
    m_console.type(key);
    key = 0;
}

void TTerminalFrm::TerminalKeyDown(int& key, Qt::KeyboardModifiers) {
    if (const quint16 code = cursorCode(key))
        m_console.type(code);
    key = 0;
}

void TTerminalFrm::TerminalPaste(const QByteArray& keys) {
    m_console.paste(keys);
}
