#pragma once

#include "files/Compare.h"
#include "files/SaveLoad.h"
#include "files/Verify.h"
#include "link/HeadendScan.h"
#include "link/Link.h"
#include "link/SharedState.h"
#include "module/ModuleTable.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <utility>

// What a save or a load came to.
struct FileOutcome {
    enum Kind {
        Done,         // "Done."
        ModuleErrors, // done, " Errors found": an ERROR line, a refusal, a module not back
        Failed        // "File I/O error.", a file refused, the line lost, the user stopped it
    };
    Kind kind = Failed;
    QString file;         // the file written (a save may go beside the one named), or read
    LoadedModules loaded; // a load: the modules it wrote to
    QStringList notBack;  // "Error: Module 1/9 not responding after its reset." lines
    bool ok() const { return kind != Failed; }
    // As a site agent tells it: "status" 0 done, 1 module errors, 3 failed (orvex-cli's exit
    // statuses), "notBack", the modules "written" and their "images"; the file is the client's.
    QJsonObject json() const;
    static FileOutcome fromJson(const QJsonObject& o, const QString& file);
};

// What a load left to check once its modules are read again: the file and what it wrote.
struct LoadCheck {
    QString file;
    bool moduleFile = false;
    LoadedModules loaded;
};

// The newest backup of a folder, as read before a scan (its modules may be restarting).
struct NewestBackup {
    QString file;                          // empty: the folder holds no backup
    std::optional<Compare::Blocks> blocks; // none: no backup, or it cannot be read
    static NewestBackup in(const QString& folder);
};

// A head-end being worked on: the module records of both subracks, the line to it and the
// engine's part of the work loop's state, and the operations on them. Every front end (the
// windows, orvex-cli, orvex-monitor) owns one and drives it; the host shows what the
// operations say on the way (status texts, messages, progress) and is asked for pauses.
//
//   HeadendSession session(host);
//   session.scan(view);
//   const FileOutcome saved = session.saveConfig("headend.mmh");
class HeadendSession {
public:
    explicit HeadendSession(LinkHost& host);
    ~HeadendSession();
    HeadendSession(const HeadendSession&) = delete;
    HeadendSession& operator=(const HeadendSession&) = delete;

    // An operation under way, by its name ("scan", "save", "load"), for as long as the scope
    // lives. A request that arrives from a nested wait (a close, a click served while a reply
    // is awaited) finds it in running() and waits for it or stops it.
    class Operation {
    public:
        Operation(HeadendSession& session, const QString& what)
            : m_session(session), m_before(std::exchange(session.m_running, what)) {}
        ~Operation() { m_session.m_running = m_before; }
        // No other operation was under way when this one began.
        bool outermost() const { return m_before.isEmpty(); }
        Operation(const Operation&) = delete;
        Operation& operator=(const Operation&) = delete;

    private:
        HeadendSession& m_session;
        QString m_before;
    };
    // The operation under way; empty when none is.
    const QString& running() const { return m_running; }
    // An operation runs, or an exchange waits for its reply while events are served.
    bool busy() const;

    ModuleTable& modules() { return m_modules; }
    const ModuleTable& modules() const { return m_modules; }
    SharedState& state() { return m_state; }
    Link& link() { return m_link; }
    LinkHost& host() { return m_host; }
    // The record of the module the user works with (CurSlot, CurSubrack), if any.
    TModule* current() const { return m_modules.at(m_state.CurSlot, m_state.CurSubrack); }
    ModuleAddress currentAddress() const { return {m_state.CurSubrack, m_state.CurSlot}; }

    // Both subracks (see ScanHeadend); returns how many modules answered. Behind a site agent
    // the agent scans its line, in one request, and the records come here.
    int scan(ScanView& view, const ScanWords& words = {}, const ModuleAddresses& expected = {},
             ScanEnd end = ScanEnd::ClosePort);
    // One slot as the scan visits it (see ProbeSlot); true when a module answered there.
    bool probe(const ModuleAddress& at, ScanView& view, const ScanWords& words = {});
    // The re-read of the current module the work loop runs when one is requested (see
    // ReloadModule); true when its commit was acknowledged.
    bool reload(const std::function<void()>& rebuild = {},
                const QString& moduleWord = QStringLiteral("Module"));
    // Reads the current module again at once, as the work loop does when one is asked for: its
    // values (and its info block unless valuesOnly or a failed write said otherwise), then
    // the commit. True when the commit was acknowledged.
    bool reread(bool valuesOnly = false);
    // A re-read of the current module is waiting, and nothing holds the line meanwhile.
    bool reloadDue() const { return m_state.ReloadRequest && !m_link.LinkBusy; }
    // The measured values of a module read again in the background (see RefreshMeasured): the
    // parameters whose value changed; *answered, if given, whether the module's reply came.
    QList<int> refreshMeasured(const ModuleAddress& at, bool* answered = nullptr);
    // The line is free for a read in the background (live values): no console, no re-read
    // waiting, no exchange under way.
    bool lineFree() const;

    FileOutcome saveConfig(const QString& file);
    FileOutcome saveModule(const ModuleAddress& at, const QString& file);
    // A configuration file onto the addresses of its blocks (those in `only`, if given), or a
    // module settings file onto the current module. The modules it wrote to are to be read
    // again before verify() holds them against the file.
    FileOutcome load(const QString& file, bool moduleFile,
                     const std::optional<ModuleAddresses>& only = std::nullopt);
    // After a load and the re-read of its modules: the file against what they hold now. The
    // images it wrote are read back (each of those modules restarts once more) unless
    // `images` is false; then only the values are checked. Nothing when the file cannot be
    // read any more.
    std::optional<Verify::Outcome> verify(const LoadCheck& check, bool images = true);
    // Reads the EEPROM images a comparison needs (each of those modules restarts); returns the
    // lines for the modules not back after their reset.
    QStringList readImages(Compare::HeadendCompare& comparison);
    // A backup against what the head-end holds now (`live`, or the records of the last scan):
    // parameter modules of the same type at the same address.
    Compare::Result againstBackup(const Compare::Blocks& backup,
                                  const std::optional<Compare::Blocks>& live = std::nullopt) const;

private:
    // The scan of a site agent's head-end, run by the agent (RemoteSession.cpp); none when
    // the agent does not serve it.
    std::optional<int> remoteScan(ScanView& view, const ScanWords& words,
                                  const ModuleAddresses& expected, ScanEnd end);
    // Saves and loads run by the agent (RemoteSession.cpp); none when they run here: a file
    // this program cannot use, or an agent that does not serve them.
    std::optional<FileOutcome> remoteSave(const std::optional<ModuleAddress>& at,
                                          const QString& file);
    std::optional<FileOutcome> remoteLoad(const QString& file, bool moduleFile,
                                          const std::optional<ModuleAddresses>& only);
    bool behindAgent();
    FileOutcome outcome(const SaveLoad& files, bool ok, const QString& file) const;

    LinkHost& m_host;
    ModuleTable m_modules;
    SharedState m_state;
    Link m_link;
    QString m_running;
};
