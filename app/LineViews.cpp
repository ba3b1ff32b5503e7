// The line monitor and the message log: "Settings" → "Line monitor…" (also in the status
// bar's menu) and "Message log…".
#include "app/LineMonitorFrm.h"
#include "app/LiveValues.h"
#include "app/MainWindow.h"
#include "app/MessageLogFrm.h"

#include <QAction>
#include <QActionGroup>
#include <QMenu>

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
    MessageLogFrm =
        new TMessageLogFrm(messageLog, this, [this] { return m_link.ComPort().portName(); });
    connect(itmLineMonitor, &QAction::triggered, this, &TMainFrm::itmLineMonitorClick);
    connect(LineMonitor, &QAction::triggered, this, &TMainFrm::itmLineMonitorClick);
    connect(itmMessageLog, &QAction::triggered, this, &TMainFrm::itmMessageLogClick);
    liveValues = new LiveValues(*this);
    auto* choices = new QActionGroup(mnLive);
    for (const int seconds : LiveValues::Choices) {
        QAction* item = mnLive->addAction(seconds == 0 ? QStringLiteral("Off")
                                                       : QStringLiteral("Every %1 s").arg(seconds));
        item->setCheckable(true);
        item->setChecked(seconds * 1000 == liveValues->intervalMs());
        choices->addAction(item);
        connect(item, &QAction::triggered, this,
                [this, seconds] { liveValues->setSeconds(seconds); });
    }
}

void TMainFrm::itmLineMonitorClick() {
    present(LineMonitorFrm);
}

void TMainFrm::itmMessageLogClick() {
    present(MessageLogFrm);
}
