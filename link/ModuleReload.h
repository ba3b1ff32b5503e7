#pragma once

#include <QString>
#include <functional>

class Link;
class LinkHost;
struct SharedState;

// The work loop's re-read of the current module (CurSlot, CurSubrack) when ReloadRequest is
// set (the caller checks that the line is free): clears ReloadRequest, selects the module,
// reads its info block unless SkipInfoReload is set, then its values (both queues emptied
// first), and commits the values to its EEPROM unless a write failed meanwhile. `rebuild`
// runs between the value read and the commit: the panel is rebuilt there and its commit
// timer stopped. Status texts: "Reloading module info", "Reloading parameters values",
// "Reloading module diagnostic info", "Module #n selected".
// Returns whether a commit was sent and acknowledged.
bool ReloadModule(Link& link, SharedState& state, LinkHost& host,
                  const std::function<void()>& rebuild = {},
                  const QString& moduleWord = QStringLiteral("Module"));
