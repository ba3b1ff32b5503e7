#pragma once

#include "panel/SatelliteWindow.h"

#include <QTimer>

class Link;
class ModuleTable;
class PanelHost;
struct SharedState;

// The parameter control panel: a tool window above the main window with one cell per
// visible parameter of the current module.
class TCtlPanelFrm : public SatelliteWindow {
    Q_OBJECT
public:
    TCtlPanelFrm(QWidget* owner, Link& link, ModuleTable& modules, SharedState& state,
                 PanelHost& host);

    // Builds the cells of the current module (clearing the panel first).
    void BuildPanel();
    // Destroys every control on the panel.
    void ClearPanel();
    // Starts (true) or stops (false) the EEPROM commit timer; its interval is 500 ms again.
    void SetCommitTimer(bool enabled);
    // Number of controls on the panel.
    int controlCount() const;

    QTimer tmEEPROM;
    bool RestartRequest = false;
    bool PanelShown = false;
    // Cell rows per column, set by each build; the window's height derives from it.
    qint32 PanelRows = 0;

protected:
    Link& m_link;
    ModuleTable& m_modules;
    SharedState& m_state;
    PanelHost& m_host;
};
