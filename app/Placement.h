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

// The main window and a satellite directly above it.
struct Stack {
    QRect main;
    QRect satellite;
};
// The main window's frame moved as little as needed to keep the pair on the screen (its
// available area), and the satellite of the given height above it: neither caption is ever
// out of reach. A satellite taller than the room above the main window gets that room.
Stack stack(const QRect& mainFrame, int height, const QRect& screen);
// Top-left of the main window's frame directly below a satellite's frame.
QPoint mainBelow(const QRect& satelliteFrame);
// A window that follows the main window (the line monitor), with its left edge and width and
// at the height asked (at most the screen's): below the main window where that fits, else
// above the column (the main window and the satellite on it) where that fits, else on the
// side with more room, as tall as that room; where that room is less than MinBesideHeight,
// at the height asked against the screen's edge, over the column by what is missing.
constexpr int MinBesideHeight = 200;
QRect beside(const QRect& mainFrame, int columnTop, int height, const QRect& screen);

} // namespace Placement
