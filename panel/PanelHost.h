#pragma once

// What the control panel asks of the main window.
class PanelHost {
public:
    virtual ~PanelHost() = default;
    // Sizes, places and captions the panel directly above the main window.
    virtual void placePanel() = 0;
    // The panel's terminal button hands the line over: place, show and focus the terminal
    // window, and take the focus away from the main window's controls.
    virtual void openTerminalFromPanel() = 0;
    virtual void setDiagEnabled(bool enabled) = 0;
};
