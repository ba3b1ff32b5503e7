// The line monitor and the message log: "Settings" → "Line monitor…" (also in the status
// bar's menu) and "Message log…".
#include "app/LineMonitorFrm.h"
#include "app/MainWindow.h"
#include "app/MessageLogFrm.h"

#include <QAction>

namespace {
void present(QWidget* window) {
    window->show();
    window->raise();
    window->activateWindow();
}
} // namespace

void TMainFrm::connectLineViews() {
    m_link.ComPort().setTap(
        [this](char dir, const QByteArray& bytes) { lineObserver.bytes(dir, bytes); });
    LineMonitorFrm = new TLineMonitorFrm(lineObserver, this);
    MessageLogFrm = new TMessageLogFrm(messageLog, this);
    connect(itmLineMonitor, &QAction::triggered, this, &TMainFrm::itmLineMonitorClick);
    connect(LineMonitor, &QAction::triggered, this, &TMainFrm::itmLineMonitorClick);
    connect(itmMessageLog, &QAction::triggered, this, &TMainFrm::itmMessageLogClick);
}

void TMainFrm::itmLineMonitorClick() {
    present(LineMonitorFrm);
}

void TMainFrm::itmMessageLogClick() {
    present(MessageLogFrm);
}
