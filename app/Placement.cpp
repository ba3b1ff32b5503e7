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

QRect beside(const QRect& mainFrame, int columnTop, int height, const QRect& screen) {
    int h = std::min(height, screen.height());
    const int below = screen.bottom() - mainFrame.bottom();
    const int above = columnTop - screen.top();
    // Where it fits on neither side, the side with more room takes it at that room's height,
    // so that it covers nothing of the column; only where that is less than a useful height
    // does it keep its own and go over the column by what is missing.
    const int room = std::max(below, above);
    if (h > room && room >= MinBesideHeight)
        h = room;
    const int top = h <= below                    ? mainFrame.bottom() + 1
                    : h <= above || above > below ? std::max(columnTop - h, screen.top())
                                                  : screen.bottom() + 1 - h;
    return QRect(mainFrame.left(), top, mainFrame.width(), h);
}

} // namespace Placement
