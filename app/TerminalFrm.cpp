#include "app/TerminalFrm.h"

#include "panel/GradientCaption.h"

TTerminalFrm::TTerminalFrm(QWidget* owner) : SatelliteWindow(owner, QColor(0, 128, 128), true) {
    setObjectName(QStringLiteral("TerminalFrm"));
    captionBar()->setStartColor(QColor(0, 255, 255));
    resize(455 + 2 * Border, outerHeightFor(310));
    RestoreFlag = false;
    hide();
}
