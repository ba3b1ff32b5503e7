#pragma once

#include <QString>
#include <functional>

class Link;
class LinkHost;
class ModuleTable;
class TModule;
struct TParam;
struct SharedState;

// The work loop's re-read of the current module (CurSlot, CurSubrack) when ReloadRequest is
// set (the caller checks that the line is free): clears ReloadRequest, selects the module,
// reads its info block unless SkipInfoReload is set, then its values (both queues emptied
// first), and commits the values to its EEPROM unless a write failed meanwhile or SkipCommit
// was set (cleared here). `rebuild` runs between the value read and the commit: the panel is
// rebuilt there and its commit timer stopped. Status texts: "Reloading module info", "Reloading
// parameters values", "Reloading module diagnostic info", "Module #n selected". Returns whether a
// commit was sent and acknowledged.
bool ReloadModule(Link& link, SharedState& state, LinkHost& host,
                  const std::function<void()>& rebuild = {},
                  const QString& moduleWord = QStringLiteral("Module"));

// A measured value: a number the module shows and the user cannot set (a read-only number
// or a list marked read-only).
bool IsMeasured(const TParam& p);
bool HasMeasured(const TModule& m);

// A read of the module's values in the background, for a panel that shows them live:
// selects the module, reads its values ("2") and takes from the reply only the measured
// values; every other value, the channel, Messages and ErrorCount stay as they were, so
// nothing the user writes is overwritten and a missed reply leaves no mark. Returns the
// parameters whose value changed (none when the module did not answer or its reply cannot be
// read; *answered, if given, tells which). A lost port raises PortError as every command does.
QList<int> RefreshMeasured(Link& link, ModuleTable& modules, int slot, int subrack,
                           bool* answered = nullptr);
