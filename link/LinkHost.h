#pragma once

#include "link/EventWait.h"

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
    // The user asked to stop (closing the program a second time while it works): a scan ends
    // after the slot at hand, a load after the module at hand with its values committed, and
    // says which modules it did not load.
    virtual bool stopRequested() const { return false; }

    // Appends text to the status bar's text.
    void appendStatus(const QString& text) { SetStatus(statusText() + text); }
};

// A host nobody watches (a service): the status text is kept, messages are dropped, pauses
// serve events, there are no controls, panel or progress to show.
class QuietHost : public LinkHost {
public:
    void SetStatus(const QString& text) override { m_status = text; }
    QString statusText() const override { return m_status; }
    void EnableControls(bool) override {}
    void showMessage(const QString&, bool) override {}
    void rearmCommitTimer() override {}
    void pause(int ms) override { EventWait::pause(ms); }
    void progress(int, int) override {}

private:
    QString m_status;
};
