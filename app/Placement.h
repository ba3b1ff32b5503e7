#pragma once

#include <QPoint>
#include <QRect>

// The arithmetic that keeps the satellite windows directly above the main window: with its
// left edge and width, bottom on the main window's top. Rectangles are outer frames.
namespace Placement {

constexpr int TerminalHeight = 290;

// Outer height of the control panel for a number of cell rows.
constexpr int panelHeight(int rows) {
    return rows * 35 + 30;
}
// Frame of a satellite of the given height above the main window's frame.
QRect above(const QRect& mainFrame, int height);
// Top-left of the main window's frame directly below a satellite's frame.
QPoint mainBelow(const QRect& satelliteFrame);

} // namespace Placement
