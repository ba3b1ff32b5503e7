#pragma once

#include "app/MessageLog.h"
#include "link/LineObserver.h"
#include "link/LinkHost.h"
#include "panel/PanelHost.h"
#include "session/HeadendSession.h"

#include <QPointer>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <optional>

class GradientCaption;
class IdleDriver;
class QAction;
class QLabel;
class QMenu;
class QMenuBar;
class QProgressBar;
class QPushButton;
class QStatusBar;
class QTabWidget;
class QToolButton;
class TCfrm;
class TCtlPanelFrm;
class TDiagFrm;
class LiveValues;
class TLed;
class TLineMonitorFrm;
class TMessageLogFrm;
class TTerminalFrm;
class TfrmAbout;

// The main window: subrack view, status bar, menus, and the work loop behind them. It owns
// the work loop's state and the session (the module table, the link and the engine's part of
// the state), and lends them to the other windows.
class TMainFrm : public QWidget, public LinkHost, public PanelHost {
    Q_OBJECT
public:
    static constexpr int ClientWidth = 611;
    static constexpr int ClientHeight = 141;
    // A slot's caption: green for a clear module, red for a faulty one; a faulty one's
    // button is framed as well, in a colour that reads dark in greyscale; the selected one's
    // in blue, outside it.
    static constexpr QColor HealthyColour{0, 128, 0};
    static constexpr QColor FaultColour{255, 0, 0};
    static constexpr QColor FaultMark{64, 0, 0};
    static constexpr QColor SelectionMark{0, 70, 200};

    explicit TMainFrm(QWidget* parent = nullptr);
    ~TMainFrm() override;

    // The other windows, created after this one.
    void attach(TCtlPanelFrm* panel, TTerminalFrm* terminal, TCfrm* comm, TfrmAbout* about);
    // The command line as the program got it (tests set their own).
    void setArguments(const QStringList& args) { m_args = args; }

    // LinkHost
    void SetStatus(const QString& text) override;
    QString statusText() const override;
    void EnableControls(bool flag) override;
    void showMessage(const QString& text, bool error) override;
    void rearmCommitTimer() override;
    void pause(int ms) override;
    void progress(int value, int max) override;

    bool stopRequested() const override { return m_stopRequested; }

    // Runs an action of the user's: an error that ends it is shown in a message box.
    void guarded(const std::function<void()>& action);

    // A scan, load or save of the user's runs while one of these lives: a request to close
    // the program waits for its end (a second one stops it after the module at hand), then
    // the program closes.
    class Busy {
    public:
        Busy(TMainFrm& main, const QString& what);
        ~Busy();
        Busy(const Busy&) = delete;
        Busy& operator=(const Busy&) = delete;

    private:
        TMainFrm& m_main;
        HeadendSession::Operation m_operation;
    };

    // PanelHost
    void placePanel() override;
    void openTerminalFromPanel() override;
    void setDiagEnabled(bool enabled) override;

    // Start-up, exit and the work loop (MainStartup.cpp, WorkLoop.cpp).
    void IdleProc();
    void Init();
    void btCloseClick();
    void Prepare();

    // Subrack view and module selection (Selection.cpp).
    void sbM1Click(QToolButton* button);
    void btRestartClick();
    void pcModSwitchChange(int index);
    // Closes the panel (clearing it), the terminal window and the diagnostics window;
    // resetTerminalMode sets TerminalMode false between the panel and the terminal.
    void closeSatellites(bool resetTerminalMode);
    // Puts every slot button of both pages up.
    void releaseAllSlotButtons();
    // Puts the current module's slot button down, the only one down.
    void markCurrentSlot();
    QToolButton* slotButton(int subrack, int slot) const { return sbM[subrack * 16 + slot]; }
    // Shows a subrack page or hides/shows the second tab without it counting as the user's
    // page switch.
    void showPage(int index);
    void showSecondTab(bool visible);
    // ModuleWord + " #" + the current slot's number + what, e.g. "Module #3 selected".
    QString moduleText(const QString& what) const;
    // Caption colours of the slot buttons.
    void setSlotCaption(QToolButton* button, const QString& text, const QColor& colour);

    // Service commands of the status bar menu and "Settings" (ServiceCommands.cpp).
    void ModResetClick();
    void ResetModuletypeClick();
    void ModDefaultsClick();
    void SpecAddrClick();
    void LineBreakClick();
    void itmCommSettingsClick();
    // Binds the menu actions and buttons of the service commands, diagnostics and help.
    void connectCommands();

    // The "File" menu (FileMenu.cpp).
    void itmSaveConfigClick();
    void itmLoadConfigClick();
    void itmSaveModClick();
    void itmLoadModuleClick();
    void connectFileMenu(); // binds the items of "File" and "Backup folder"
    // Loads a file chosen already, as "Load Config" / "Load Module" do after their dialog;
    // with `only`, the blocks of those modules alone.
    void loadConfigFile(const QString& name,
                        const std::optional<ModuleAddresses>& only = std::nullopt);
    void loadModuleFile(const QString& name);
    void keepDiagWithPanel();

    // Comparing with files, checking loads, backups (CompareMenu.cpp).
    void itmCompareClick();
    // The comparison window for a file; a module settings file is compared with the current
    // module, a configuration file with the head-end.
    void compareWithFile(const QString& name);
    void itmBackupFolderClick();
    // After a scan: the check of a configuration just loaded, else the newest backup.
    void afterScan();
    // After the current module was read again: the check of a module file just loaded.
    void afterReload();

    // Diagnostics (Diagnostics.cpp).
    void btInfoClick();
    void DiagCreate();

    // Satellite placement (Satellites.cpp).
    // The screen's available area.
    QRect screenArea() const;
    // Puts a satellite of the given outer height directly above the main window; where the
    // screen has no room for it, the main window moves down first.
    void placeAbove(QWidget* satellite, int height);
    // The main window goes directly below a satellite the user has moved, as far as the
    // screen lets it.
    void followSatellite(QWidget* satellite);
    void placeTerminal();
    void placeDiag();
    void connectSatellites();
    void diagMoved();
    // Minimising closes the satellites; restoring brings back those that were open.
    void minimiseSatellites();
    void restoreSatellites();

    // The line monitor, the message log and the live values (LineViews.cpp): created with
    // the main window, they see the line and the program's texts from the start.
    void connectLineViews();
    void itmLineMonitorClick();
    void itmMessageLogClick();
    // Keyboard use (Keyboard.cpp): F10 opens the menus, F1 the help in the user's language,
    // Enter presses the focused button, the file commands have their usual shortcuts.
    void connectKeyboard();
    // The help of the user's language: Russian for a Russian system, English otherwise.
    void openHelpOfUser();

    // Help and about (HelpAbout.cpp).
    void RussianHelpClick();
    void EnglishHelpClick();
    void AboutClick();

    HeadendSession& session() { return m_session; }
    SharedState& state() { return m_state; }
    ModuleTable& Modules() { return m_modules; }
    Link& link() { return m_link; }
    TModule* currentModule() const { return m_session.current(); }

    // Texts of the message boxes shown so far; with autoCloseMessages set they are only
    // recorded (tests, and the command line has its own host).
    QStringList shownMessages;
    bool autoCloseMessages = false;
    // A question with `yes` as the button that agrees, and "No"; true when agreed. Recorded in
    // shownQuestions; with autoCloseMessages, questionAnswer is the answer.
    bool ask(const QString& text, const QString& yes);
    QStringList shownQuestions;
    bool questionAnswer = false;

    // The work loop's state: 0 start pending, 1 stopped, 2 scan requested, 3 running.
    quint8 IdleState = 0;
    QString ModuleWord;
    QString GroupWord;
    qint32 StoredScanTimeout = 0;

    // Controls, named as the user's guide names them.
    GradientCaption* RxGCaption = nullptr;
    QMenuBar* menuBar = nullptr;
    QMenu* mnFile = nullptr;
    QMenu* mnPort = nullptr;
    QMenu* mnHelp = nullptr;
    QAction* itmSaveConfig = nullptr;
    QAction* itmLoadConfig = nullptr;
    QAction* itmSaveMod = nullptr;
    QAction* itmLoadModule = nullptr;
    QAction* itmCompare = nullptr;
    QAction* itmExit = nullptr;
    QAction* itmCommSettings = nullptr;
    QAction* itmBackupFolder = nullptr;
    QAction* itmLineMonitor = nullptr;
    QAction* itmMessageLog = nullptr;
    QMenu* mnLive = nullptr; // "Live values": how often a panel's measured values are read
    QAction* RussianHelp = nullptr;
    QAction* EnglishHelp = nullptr;
    QAction* About = nullptr;
    QTabWidget* pcModSwitch = nullptr;
    QWidget* tsG1 = nullptr;
    QWidget* tsG2 = nullptr;
    QToolButton* sbM[32] = {};
    QLabel* slotLabels[32] = {};
    QWidget* rightPanel = nullptr;
    TLed* ldReady = nullptr;
    QPushButton* btRestart = nullptr;
    QPushButton* btInfo = nullptr;
    QPushButton* btClose = nullptr;
    QStatusBar* statusBar = nullptr;
    QLabel* statusLabel = nullptr;
    QProgressBar* statusProgress = nullptr;
    QMenu* statusMenu = nullptr;
    QAction* ModReset = nullptr;
    QAction* ResetModuletype = nullptr;
    QAction* ModDefaults = nullptr;
    QAction* SpecAddr = nullptr;
    QAction* LineBreak = nullptr;
    QAction* LineMonitor = nullptr; // the status bar menu's "Line monitor…"

    TCtlPanelFrm* CtlPanelFrm = nullptr;
    TTerminalFrm* TerminalFrm = nullptr;
    TCfrm* Cfrm = nullptr;
    TfrmAbout* frmAbout = nullptr;
    QPointer<TDiagFrm> DiagFrm;
    TLineMonitorFrm* LineMonitorFrm = nullptr;
    TMessageLogFrm* MessageLogFrm = nullptr;
    LiveValues* liveValues = nullptr;

    // Every frame on the line (the port's and the module pages'), and what the program said.
    LineObserver lineObserver;
    MessageLog messageLog;

    // Default extensions and filters of the file dialogs.
    QString configExtension;
    QString configFilter;
    QString moduleExtension;

protected:
    void closeEvent(QCloseEvent* e) override;
    void changeEvent(QEvent* e) override;
    void moveEvent(QMoveEvent* e) override;

private:
    void buildLayout();
    void buildMenus();
    void buildSubrackPages();
    void buildRightPanel();
    void buildStatusBar();
    void readSettingsFile();
    // False, with the reason in m_settingsError, when the file cannot be written.
    bool writeScanTimeout(qint32 value);
    // Says once when the settings files cannot be written where the program was started.
    void checkSettingsFolder();
    void runningStep();
    void reloadCurrentModule();
    void openModulePages(QToolButton* button);

    void verifyLoad();
    void checkBackup();

    // A file loaded a moment ago, to be compared with what the modules hold once they have
    // been read again.
    std::optional<LoadCheck> m_loadCheck;
    // The newest backup when it differs from the head-end: "Compare with file" opens on it.
    QString m_backupHint;

    HeadendSession m_session;
    // The session's parts, as the window's code names them.
    ModuleTable& m_modules = m_session.modules();
    SharedState& m_state = m_session.state();
    Link& m_link = m_session.link();
    QStringList m_args;
    IdleDriver* m_idle = nullptr;
    bool m_closing = false;
    // What runs now ("load", "save", "scan"; empty: nothing) and the requests to close that
    // wait for it.
    bool m_closeRequested = false;
    bool m_stopRequested = false;
    // The program is closing or a close waits: a failure that a close caused is not told.
    bool closing() const { return m_closing || m_closeRequested; }
    // The settings files can be written in the current folder (else it was said at start).
    bool m_settingsKept = true;
    QString m_settingsError;
    // What was done, said again once the work loop has read the module again.
    QString m_statusAfterReload;
    // The program itself moves the main window: its satellites do not follow that move.
    bool m_placing = false;
};
