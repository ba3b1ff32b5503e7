#include "app/Placement.h"

namespace Placement {

QRect above(const QRect& mainFrame, int height) {
    return QRect(mainFrame.left(), mainFrame.top() - height, mainFrame.width(), height);
}

QPoint mainBelow(const QRect& satelliteFrame) {
    return QPoint(satelliteFrame.left(), satelliteFrame.top() + satelliteFrame.height());
}

} // namespace Placement
