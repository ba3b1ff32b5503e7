#include "panel/CtlPanelFrm.h"

#include "panel/GradientCaption.h"

namespace {
constexpr int kCommitDelayMs = 500;
}

TCtlPanelFrm::TCtlPanelFrm(QWidget* owner, Link& link, ModuleTable& modules, SharedState& state,
                           PanelHost& host)
    : SatelliteWindow(owner, QColor(0, 128, 128), false), m_link(link), m_modules(modules),
      m_state(state), m_host(host) {
    setObjectName(QStringLiteral("CtlPanelFrm"));
    captionBar()->setStartColor(QColor(0, 255, 255));
    captionBar()->setTextColors(Qt::black, QColor(0, 128, 0));
    tmEEPROM.setSingleShot(false);
    tmEEPROM.setInterval(kCommitDelayMs);
    hide();
}

void TCtlPanelFrm::ClearPanel() {
    const auto children = content()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    for (QWidget* w : children)
        delete w;
}

int TCtlPanelFrm::controlCount() const {
    return content()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly).size();
}

void TCtlPanelFrm::SetCommitTimer(bool enabled) {
    if (enabled && !tmEEPROM.isActive())
        tmEEPROM.start(kCommitDelayMs);
    else if (!enabled)
        tmEEPROM.stop();
    tmEEPROM.setInterval(kCommitDelayMs);
}

void TCtlPanelFrm::BuildPanel() {
    // The cells arrive with the panel's own work; until then the panel shows nothing.
    ClearPanel();
    PanelRows = 0;
}
