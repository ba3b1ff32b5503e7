#include "app/Placement.h"

#include <algorithm>

namespace Placement {

namespace {
// v within lo … hi; where the two cross, lo wins (the top and left edges stay in reach).
int clamp(int v, int lo, int hi) {
    return std::max(lo, std::min(v, hi));
}
} // namespace

Stack stack(const QRect& mainFrame, int height, const QRect& screen) {
    const int h = std::clamp(height, 0, std::max(0, screen.height() - mainFrame.height()));
    QRect main = mainFrame;
    main.moveLeft(clamp(main.left(), screen.left(), screen.right() + 1 - main.width()));
    main.moveTop(clamp(main.top(), screen.top() + h, screen.bottom() + 1 - main.height()));
    return {main, QRect(main.left(), main.top() - h, main.width(), h)};
}

QPoint mainBelow(const QRect& satelliteFrame) {
    return QPoint(satelliteFrame.left(), satelliteFrame.top() + satelliteFrame.height());
}

QRect below(const QRect& mainFrame, int height, const QRect& screen) {
    const int room = screen.bottom() + 1 - (mainFrame.bottom() + 1);
    const int h = std::max(std::min(height, room), MinBelow);
    return QRect(mainFrame.left(), std::min(mainFrame.bottom() + 1, screen.bottom() + 1 - h),
                 mainFrame.width(), h);
}

} // namespace Placement
