#pragma once

#include <QtGlobal>

// The engine's part of the work loop's state: the module worked on and the requests to read
// it again. A session owns it and lends it to the engine and the windows by reference.
struct SharedState {
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
