#pragma once

#include "cli/CliHost.h"
#include "cli/CliOptions.h"
#include "cli/LineTrace.h"
#include "session/HeadendSession.h"

#include <QJsonObject>
#include <memory>
#include <optional>

// Ends a command with an exit status and the line that says why.
struct CliFailure {
    int status;
    QString message;
};

// Runs orvex-cli with its arguments (program name first); returns the exit status.
int RunCli(const QStringList& arguments, const CliIo& io = {});
// orvex-cli on an agent port (agent:, ssh://): the command runs at the site agent.
int RunThroughAgent(const CliOptions& options, CliHost& host);

// One run of orvex-cli on a head-end's session, and the commands. A command that cannot go on
// throws CliFailure; errors of the port (PortError) end it with status 3. The session's line
// is opened by its port name and closed at the end, unless `lineHeld`: then the caller (the
// site agent) keeps it open, with its own time-outs.
class CliSession {
public:
    CliSession(const CliOptions& options, CliHost& host, HeadendSession& session,
               bool lineHeld = false);
    ~CliSession();
    int run();

private:
    int dispatch();
    void openLine();
    // Selects the module and reads what the scan reads of its slot; CurSlot and CurSubrack
    // name it afterwards. Throws CliFailure (status 1) when no module answers there.
    TModule& probe(const ModuleAddress& at);
    // The scan of both subracks, as "Scan" runs it; returns how many modules answered.
    int runScan(const ModuleAddresses& expected = {});
    ModuleAddress address(int arg) const;
    void printJson(const QJsonObject& object);

    int scan();
    int show();
    int set();
    int diag();
    int reset();
    int defaults();
    int terminal();
    int pages();
    int files();
    // The scan of both subracks for a configuration command; `expected` as for ScanHeadend.
    void scanForConfig(const ModuleAddresses& expected = {});
    int fileOutcome(const FileOutcome& outcome);
    // load-config, load-module --verify: the modules the load wrote to, read back and
    // compared with the file.
    bool verifyLoad(const LoadCheck& check);
    int diff();
    // With --images, the images of `live` the file holds are read (after saying which modules
    // that restarts). False when a module did not answer again after its image read.
    bool readImagesAsked(Compare::HeadendCompare& comparison);
    int diffFiles(const QString& a, const QString& b);
    int printDiff(const Compare::Result& r, const Compare::Sides& sides, const QString& a,
                  const QString& b);
    int backup();
    bool sameAsNewestBackup(const NewestBackup& newest, const Compare::Blocks& live);
    KeptImage keptImages(const NewestBackup& newest);
    KeptImage silentModules(const QString& newest);
    // Two files are compared without the line unless --port names a head-end.
    bool needsLine() const;

    // set: the raw value to write, from VALUE or --shown; throws CliFailure when refused.
    qint32 valueToWrite(const TModule& m, int index) const;
    QString paramLabel(const TModule& m, int index) const;

    CliOptions m_options;
    CliHost& m_host;
    HeadendSession& m_session;
    bool m_lineHeld;
    // The session's parts, as the commands name them.
    ModuleTable& m_modules = m_session.modules();
    SharedState& m_state = m_session.state();
    Link& m_link = m_session.link();
    std::unique_ptr<LineTrace> m_trace;
    SerialPort::Tap m_tapBefore; // the tap the trace goes after
};
