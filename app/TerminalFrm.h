#pragma once

#include "panel/SatelliteWindow.h"

#include <QByteArray>
#include <array>

class TMainFrm;
class TerminalView;

// The terminal window for console modules. While it is shown it holds the serial line: the
// console module paces the keyboard by sending SYN for each key it wants, so typed keys wait
// in a small ring until asked for.
class TTerminalFrm : public SatelliteWindow {
    Q_OBJECT
public:
    static constexpr int Rows = 16;
    static constexpr int KeyRingSize = 10;
    // How long opening waits for the port before it gives up.
    static constexpr int ConnectLimitMs = 1000;

    explicit TTerminalFrm(TMainFrm& main);

    // Opens the console; runs after each show (from the event loop, not inside the show).
    void FormShow();
    // Ends the console; runs on each hide.
    void FormHide();

    // Handlers bound to the display while the console is open.
    void TerminalKeyPress(quint16& key);
    void TerminalKeyDown(int& key, Qt::KeyboardModifiers shift);
    void TerminalStrRecieved(QByteArray& str);

    TerminalView* Terminal = nullptr;
    // Set when minimising closed the visible window, so that restoring brings it back.
    bool RestoreFlag = false;
    // Keys waiting for the module's request, 0 = empty; WriteIndex is where the next goes,
    // which makes it the oldest entry as well.
    std::array<quint16, KeyRingSize> PendingKeys{};
    quint8 WriteIndex = 0;

protected:
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;

private:
    void storeKey(quint16 code);
    void sendPendingKey();
    bool connectTerminal();
    void bindHandlers(bool bind);

    TMainFrm& m_main;
    // A show that FormShow has not handled yet.
    bool m_showPending = false;
    // The module was told to start its console and not yet to end it.
    bool m_consoleStarted = false;
};
