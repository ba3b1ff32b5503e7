#pragma once

#include "panel/SatelliteWindow.h"

#include <QTimer>

class Link;
class ModuleTable;
struct SharedState;

// The parameter control panel: a tool window above the main window with one cell per
// visible parameter of the current module.
class TCtlPanelFrm : public SatelliteWindow {
    Q_OBJECT
public:
    TCtlPanelFrm(QWidget* owner, Link& link, ModuleTable& modules, SharedState& state);

    // Destroys every control on the panel.
    void ClearPanel();
    // Starts (true) or stops (false) the EEPROM commit timer; its interval is 500 ms again.
    void SetCommitTimer(bool enabled);
    // Number of controls on the panel.
    int controlCount() const;

    QTimer tmEEPROM;
    bool RestartRequest = false;
    bool PanelShown = false;

protected:
    Link& m_link;
    ModuleTable& m_modules;
    SharedState& m_state;
};
