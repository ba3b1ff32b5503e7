#pragma once

#include "module/Module.h"
#include "panel/SatelliteWindow.h"

#include <QPointer>
#include <QTimer>
#include <QVector>
#include <functional>

class Link;
class LinkHost;
class ModuleTable;
class PanelHost;
class ParamSpinBox;
class QComboBox;
class QLabel;
struct SharedState;

// The parameter control panel: a tool window above the main window with one cell per
// visible parameter of the current module. Its handlers write every change to the module at
// once; the spin boxes' writes are committed to EEPROM by tmEEPROM 500 ms after the last
// change, list changes at once.
class TCtlPanelFrm : public SatelliteWindow {
    Q_OBJECT
public:
    // The host is asked for placement and the terminal hand-over, the link host for messages.
    TCtlPanelFrm(QWidget* owner, Link& link, ModuleTable& modules, SharedState& state,
                 PanelHost& host, LinkHost& messages);

    // Builds the cells of the current module (Modules[CurSlot, CurSubrack]) from its record.
    // Sends nothing, and does not show, hide or move the window.
    void BuildPanel();
    // Destroys every control on the panel.
    void ClearPanel();
    // Starts (true) or stops (false) the EEPROM commit timer; its interval is 500 ms again.
    // Starting a running timer does not restart its countdown.
    void SetCommitTimer(bool enabled);
    // Number of controls on the panel.
    int controlCount() const;
    // The parameter index a control of the panel carries (0 for labels and error cells).
    static int tagOf(const QObject* control);

    // The handlers bound by the build; each takes the control that raised the event.
    // Enter in a spin box that takes typed values.
    void ParamSpinKeyPress(ParamSpinBox* spin);
    // The focus left a spin box holding a number typed without Enter: nothing was written, so
    // the box shows what the module holds again, and the status bar says so. Not while a
    // handler runs: its own message box takes the focus, and a text that is no number stays.
    void dropTypedText(ParamSpinBox* spin);
    // Up and down button (or arrow key) of a spin box.
    void ParamSpinTopClick(ParamSpinBox* spin);
    void ParamSpinBottomClick(ParamSpinBox* spin);
    // The selected entry of a list changed.
    void ParamComboChange(QComboBox* list);
    // The terminal button: the terminal window takes the line over. Without a control (the
    // main window's restore) CurParam stays as it is.
    void ParamButtonClick(QWidget* button = nullptr);
    // Tick of tmEEPROM: commits the current module's written values.
    void tmEEPROMTimer();
    // Shows what the record now holds for these parameters (measured values read again while
    // the panel is open); the other controls are left as they are.
    void showValues(const QList<int>& indexes);
    // Sends a commit that is still pending now: before the program resets the module, turns
    // to another one, hands the line to the terminal or closes the port, written values
    // would otherwise never reach the EEPROM.
    void commitPending();

Q_SIGNALS:
    // A build has ended: the panel shows the values just read.
    void built();

public:
    static constexpr int CommitDelayMs = 500;
    QTimer tmEEPROM;
    bool RestartRequest = false;
    bool PanelShown = false;
    // Cell rows per column, set by each build; the window's height derives from it.
    qint32 PanelRows = 0;
    // Per parameter index: the control and label the last build created (null for hidden
    // parameters and after a clear), and one step of a spin box in shown units.
    QVector<QPointer<QWidget>> ParamControls;
    QVector<QPointer<QLabel>> ParamLabels;
    QVector<double> ParamSteps;
    // Working copy of the parameter the build or a handler is at.
    TParam WorkParam;
    // The parameter whose control was operated last.
    qint32 CurParam = 0;

protected:
    void showEvent(QShowEvent* e) override;

private:
    // Each handler runs through here: an error that ends it is shown, never thrown into Qt's
    // dispatch, and controls cleared while it waited are destroyed once it is done.
    // With the control whose change it writes: a write that the port ends is a failed write,
    // and the control and the record go back to what the module holds.
    void handler(const std::function<void()>& fn, QWidget* control = nullptr);
    void restoreAfterLostWrite(QWidget* control, const TModule* module, const TParam& before);
    void FormShow();
    TModule* current() const;
    bool lineBusy() const;
    // The control still belongs to the panel (no clear happened while a write waited).
    bool onPanel(const QWidget* control) const;
    // Sets the commit timer's interval back to its 500 ms without restarting it.
    void keepCommitInterval();
    void spinStep(ParamSpinBox* spin, bool up);
    void setOutcomeColour(QWidget* control, bool ok);
    void selectEntry(QComboBox* list, qint32 entry);
    void reportError(const QString& text);

    // The build, one cell at a time (PanelBuild.cpp).
    void buildCells(const TModule& m, int count);
    QWidget* createControl(const TModule& m, int index);
    QWidget* createSpinBox(const TModule& m, int index);
    QWidget* createReadOnlyNumber(const TModule& m);
    QWidget* createList(const QStringList& entries, qint32 selected);
    QWidget* createErrorCell();
    void placeLabel(int index, int cell);
    QFont controlFont() const;

    Link& m_link;
    ModuleTable& m_modules;
    SharedState& m_state;
    PanelHost& m_host;
    LinkHost& m_messages;
    // Controls cleared while a handler runs wait here until no handler is left on the stack.
    QWidget* m_retired = nullptr;
    int m_handlerDepth = 0;
};
