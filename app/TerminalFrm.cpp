#include "app/TerminalFrm.h"

#include "app/MainWindow.h"
#include "app/TerminalView.h"
#include "link/EventWait.h"
#include "panel/CtlPanelFrm.h"
#include "panel/GradientCaption.h"

#include <QDeadlineTimer>
#include <QShowEvent>
#include <QVBoxLayout>

namespace {
constexpr char SYN = 0x16;
constexpr char EOT = 0x04;
// The module's console starts on "9" CR and ends on ETX CR.
const QByteArray kConsoleStart("9\r");
const QByteArray kConsoleEnd("\x03\r", 2);
// Pause between attempts to open the port.
constexpr int kConnectRetryMs = 50;
// What the module has left to say once it has been told to end is not wanted.
constexpr int kCloseSettleMs = 100;

// Cursor keys travel as single control codes.
quint16 cursorCode(int key) {
    switch (key) {
    case Qt::Key_Left:
        return 28;
    case Qt::Key_Up:
        return 29;
    case Qt::Key_Right:
        return 31;
    case Qt::Key_Down:
        return 30;
    default:
        return 0;
    }
}
} // namespace

TTerminalFrm::TTerminalFrm(TMainFrm& main)
    : SatelliteWindow(&main, QColor(0, 128, 128), true), m_main(main) {
    setObjectName(QStringLiteral("TerminalFrm"));
    captionBar()->setStartColor(QColor(0, 255, 255));
    Terminal = new TerminalView(Rows, content());
    Terminal->setObjectName(QStringLiteral("Terminal"));
    Terminal->setColors(QColor(255, 255, 255), QColor(0, 0, 0), QColor(255, 0, 0));
    auto* layout = new QVBoxLayout(content());
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(Terminal);
    resize(455 + 2 * Border, outerHeightFor(310));
    RestoreFlag = false;
    hide();
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
    connect(Terminal, &TerminalView::strReceived, this, &TTerminalFrm::TerminalStrRecieved,
            Qt::UniqueConnection);
}

bool TTerminalFrm::connectTerminal() {
    const QDeadlineTimer limit(ConnectLimitMs);
    while (!Terminal->connectPort()) {
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
    SerialPort& port = m_main.link().ComPort();
    Terminal->setPort(&port);
    bindHandlers(true);
    port.setEventMask(SerialPort::EventMask::RxChar);
    if (!connectTerminal()) {
        if (!isVisible())
            return;
        // The work loop stops, so that the re-read asked for on closing does not try the
        // same port again and again.
        m_main.state().IdleState = 1;
        RestoreFlag = false;
        close();
        m_main.showMessage(QStringLiteral("Please select proper COM Port"), true);
        return;
    }
    port.write(kConsoleStart);
    m_consoleStarted = true;
    activateWindow();
    Terminal->setFocus(Qt::OtherFocusReason);
    m_main.state().TerminalMode = true;
    m_main.EnableControls(false);
    RestoreFlag = false;
}

void TTerminalFrm::FormHide() {
    // Hidden before the opening ran: there is no console to end.
    if (m_showPending) {
        m_showPending = false;
        return;
    }
    SerialPort& port = m_main.link().ComPort();
    // On a line that has gone the module's console stays open: it is ended as soon as the
    // line is back, before any frame.
    if (!port.write(kConsoleEnd) && m_consoleStarted)
        port.sendOnOpen(kConsoleEnd);
    m_consoleStarted = false;
    port.flush();
    port.setEventMask(SerialPort::EventMask::None);
    // Only what came in is discarded: discarding the transmit queue as well could throw the
    // end of the console away before it has left, and leave the module in its console.
    port.purge(true, false);
    bindHandlers(false);
    EventWait::pause(kCloseSettleMs);
    Terminal->disconnectPort();
    m_main.link().closePort();
    m_main.state().ReloadRequest = true;
    m_main.setDiagEnabled(true);
    if (m_main.CtlPanelFrm)
        m_main.CtlPanelFrm->show();
    m_main.EnableControls(true);
    m_main.setDiagEnabled(true);
}

void TTerminalFrm::storeKey(quint16 code) {
    PendingKeys[WriteIndex] = code;
    WriteIndex = quint8((WriteIndex + 1) % KeyRingSize);
}

void TTerminalFrm::sendPendingKey() {
    // The entry at the write index is the oldest one.
    for (int i = 0; i < KeyRingSize; ++i) {
        quint16& entry = PendingKeys[(WriteIndex + i) % KeyRingSize];
        if (entry != 0) {
            m_main.link().ComPort().write(QByteArray(1, char(entry & 0xFF)));
            entry = 0;
            return;
        }
    }
}

void TTerminalFrm::TerminalKeyPress(quint16& key) {
    storeKey(key);
    key = 0;
}

void TTerminalFrm::TerminalKeyDown(int& key, Qt::KeyboardModifiers) {
    if (const quint16 code = cursorCode(key))
        storeKey(code);
    key = 0;
}

void TTerminalFrm::TerminalStrRecieved(QByteArray& str) {
    if (str.size() == 1 && str.at(0) == SYN)
        sendPendingKey();
    QByteArray shown;
    shown.reserve(str.size());
    for (const char c : std::as_const(str)) {
        if (c == SYN)
            continue;
        if (c == EOT) {
            close();
            RestoreFlag = false;
        }
        shown += c;
    }
    str = shown;
}
