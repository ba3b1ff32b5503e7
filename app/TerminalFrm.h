#pragma once

#include "panel/SatelliteWindow.h"

// The terminal window for console modules.
class TTerminalFrm : public SatelliteWindow {
    Q_OBJECT
public:
    explicit TTerminalFrm(QWidget* owner);

    // Set when minimising closed the visible window, so that restoring brings it back.
    bool RestoreFlag = false;
};
