#pragma once

#include "link/ConsoleSession.h"
#include "panel/SatelliteWindow.h"

#include <QByteArray>

class TMainFrm;
class TerminalView;

// The terminal window for console modules. While it is shown it holds the serial line: the
// console module paces the keyboard by sending SYN for each key it wants, so typed keys wait
// in the console's ring until asked for. The console session keeps the line (opening,
// reading, closing, pacing); the display shows what it reads and hands the keys to it.
class TTerminalFrm : public SatelliteWindow {
    Q_OBJECT
public:
    static constexpr int Rows = 16;
    // How long opening waits for the port before it gives up.
    static constexpr int ConnectLimitMs = 1000;

    explicit TTerminalFrm(TMainFrm& main);
    ~TTerminalFrm() override;

    // Opens the console; runs after each show (from the event loop, not inside the show).
    void FormShow();
    // Ends the console; runs on each hide.
    void FormHide();

    // Brings the window to the front with the keyboard on the console.
    void takeKeyboard();
    const ConsoleSession& console() const { return m_console; }

    // Handlers bound to the display while the console is open.
    void TerminalKeyPress(quint16& key);
    void TerminalKeyDown(int& key, Qt::KeyboardModifiers shift);
    // Pasted text, at the module's pace.
    void TerminalPaste(const QByteArray& keys);

    TerminalView* Terminal = nullptr;
    // Set when minimising closed the visible window, so that restoring brings it back.
    bool RestoreFlag = false;

protected:
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;
    // While the console is open, keys typed into the main window or the panel (anywhere but
    // a text field) go to the console: a click on the main window does not take the
    // keyboard from it.
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    bool openConsole();
    void endConsole();
    void holdKeyboard(bool hold);
    void bindHandlers(bool bind);

    TMainFrm& m_main;
    ConsoleSession m_console;
    // A show that FormShow has not handled yet.
    bool m_showPending = false;
    // The module was told to start its console and not yet to end it.
};
