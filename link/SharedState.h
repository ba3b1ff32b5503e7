#pragma once

#include <QtGlobal>

// The state of the work loop that the main window owns and lends to the engine and the
// windows by reference (the command-line tool owns one of its own).
struct SharedState {
    quint8 IdleState = 0; // 0 start pending, 1 stopped, 2 scan requested, 3 running
    qint32 CurSubrack = 0;
    qint32 CurSlot = 0;
    bool TerminalMode = false;
    qint32 FoundCount = 0;
    bool Subrack2Visible = false;
    bool ReloadRequest = false;
    bool SkipInfoReload = false;
    // The next re-read leaves the EEPROM alone: the module wrote what it holds itself (its
    // defaults command), so a commit would be one more EEPROM write for nothing.
    bool SkipCommit = false;
};
