#pragma once

#include "module/ModuleAddress.h"

#include <QString>
#include <QStringList>

class Link;
class LinkHost;
class ModuleTable;
class TModule;
struct SharedState;

// What the scan shows as it goes: the subrack page, the lamp and the slot captions.
class ScanView {
public:
    virtual ~ScanView() = default;
    virtual void showSubrackPage(int subrack) = 0;
    virtual void toggleLamp() = 0;
    virtual void slotEmpty(int subrack, int slot) = 0;
    virtual void slotFound(int subrack, int slot, const TModule& module) = 0;
    // A reply of the module being visited did not come ("no reply to the version request"),
    // before the scan's slotFound for it. A missing HTML marker is not named: only modules
    // with pages give it.
    virtual void replyMissing(const QString&) {}
    // Lets the program serve its pending events once, between two slots.
    virtual void processEvents() = 0;
};

// A scan nobody watches (the command-line tool, the bench): only the events are served.
class QuietScanView : public ScanView {
public:
    void showSubrackPage(int) override {}
    void toggleLamp() override {}
    void slotEmpty(int, int) override {}
    void slotFound(int, int, const TModule&) override {}
    void processEvents() override;
};

// The words the status texts are built from.
struct ScanWords {
    QString module = QStringLiteral("Module");
    QString group = QStringLiteral("Group");
};

// A module is silent while it restarts after a reset (command "7", also the end of an image
// read): it is asked again every RestartPollMs, RestartPolls times, before it counts as gone.
inline constexpr int RestartPollMs = 500;
inline constexpr int RestartPolls = 5;

// After a module's reset: selects it until it answers, RestartPolls more times at most,
// RestartPollMs apart. True when it answered.
bool AwaitRestart(Link& link, LinkHost& host, int subrack, int slot);

// What becomes of the port when the scan ends: closed (the next exchange opens it again), or
// left open for a caller that holds the line between its exchanges.
enum class ScanEnd { ClosePort, KeepPortOpen };

// The scan of both subracks, slot 1 to 16 of subrack 1, then of subrack 2: each visited slot
// gets a new record, filled from the module's replies, or " Not installed". A module of the
// last scan (a record in the table before) or of `expected` that does not answer may be
// restarting: it is asked again until its restart is surely over before it counts as gone.
// Sets FoundCount and Subrack2Visible, shows the final status text and closes the port at the
// end (unless `end` keeps it open); then the replies that could not be read (each module's
// ReadFaults) in one message. A port that cannot be opened, or goes away, raises PortError
// (the port is closed then too, unless kept open).
void ScanHeadend(Link& link, ModuleTable& modules, SharedState& state, LinkHost& host,
                 ScanView& view, const ScanWords& words = {}, const ModuleAddresses& expected = {},
                 ScanEnd end = ScanEnd::ClosePort);

// One slot as the scan visits it: a new record (and an emptied report list), the presence
// check, and for a present module its info block, version, diagnostic bytes, values and HTML
// marker. Leaves CurSlot at the slot and the port open. True when the module answered. Where
// the record says a module answered before and none answers now, a console left open on the
// line is ended (Link::endStrayConsole) and the module asked once more. Each reply of an
// answering module that did not come is named to the view (replyMissing).
// Used by the scan and wherever one module must be known without scanning the head-end.
bool ProbeSlot(Link& link, ModuleTable& modules, SharedState& state, LinkHost& host, ScanView& view,
               const ScanWords& words, int subrack, int slot);

// "No Active Modules found", "1 Module found", "5 Modules found".
QString ScanResultText(int found);
