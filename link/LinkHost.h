#pragma once

#include <QString>

// What the engine may ask of whoever drives it (the main window, the command-line tool, a
// test): status texts, message boxes, enabling the controls, the panel's commit timer and
// timed pauses that keep the program responsive. The engine includes no widget header.
class LinkHost {
public:
    virtual ~LinkHost() = default;

    // The status bar: one text; an empty text clears it.
    virtual void SetStatus(const QString& text) = 0;
    virtual QString statusText() const = 0;
    // Enables or disables the main window's controls and menus ("Diag" stays disabled).
    virtual void EnableControls(bool flag) = 0;
    // A message with an OK button; returns when the user has closed it.
    virtual void showMessage(const QString& text, bool error) = 0;
    // Re-arms the control panel's EEPROM commit timer with 500 ms.
    virtual void rearmCommitTimer() = 0;
    // Waits ms milliseconds while the program keeps serving its events.
    virtual void pause(int ms) = 0;
    // Progress of a long operation: value of max; max 0 hides the indication.
    virtual void progress(int value, int max) = 0;

    // Appends text to the status bar's text.
    void appendStatus(const QString& text) { SetStatus(statusText() + text); }
};
