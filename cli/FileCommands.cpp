// The file commands: save-module, load-module, save-config, load-config. The file operations
// report on the host (status texts, "File I/O error.", the load's error lines), so on stderr.
// diff and backup are in DiffCommands.cpp.
#include "cli/CliSession.h"

// The outcome of a file operation as the exit status.
int CliSession::fileOutcome(const FileOutcome& outcome) {
    m_host.finishStatus(true);
    if (!outcome.ok())
        return StatusUnusable;
    return outcome.kind == FileOutcome::ModuleErrors ? StatusModuleErrors : StatusDone;
}

// The configuration commands need the records of the whole head-end, as after "Scan".
void CliSession::scanForConfig(const ModuleAddresses& expected) {
    if (runScan(expected) == 0) {
        m_host.finishStatus(true);
        throw CliFailure{StatusModuleErrors,
                         QStringLiteral("No module answers: there is no configuration.")};
    }
    m_host.finishStatus(true);
}

int CliSession::files() {
    const QString& c = m_options.command;
    if (c == QLatin1String("save-config")) {
        // The modules of the file it replaces are asked again before they count as gone.
        Compare::Blocks earlier;
        Compare::readFile(m_options.args.at(0), false, &earlier);
        scanForConfig(Compare::addresses(earlier));
        return fileOutcome(m_session.saveConfig(m_options.args.at(0)));
    }
    if (c == QLatin1String("load-config")) {
        scanForConfig();
        const FileOutcome loaded = m_session.load(m_options.args.at(0), false);
        const int outcome = fileOutcome(loaded);
        if (loaded.ok() && m_options.verify && !verifyLoad({loaded.file, false, loaded.loaded}))
            return StatusModuleErrors;
        return outcome;
    }
    const ModuleAddress at = address(0);
    probe(at);
    m_state.CurSubrack = at.subrack;
    m_state.CurSlot = at.slot;
    if (c == QLatin1String("save-module"))
        return fileOutcome(m_session.saveModule(at, m_options.args.at(1)));
    const FileOutcome loaded = m_session.load(m_options.args.at(1), true);
    const int outcome = fileOutcome(loaded);
    if (loaded.ok()) {
        // Re-read the module as the program does after loading its settings.
        m_link.SelectModule(at.subrack, at.slot);
        TransientStatus progress(m_host);
        m_session.reread();
        m_host.finishStatus(false);
    }
    if (loaded.ok() && m_options.verify && !verifyLoad({loaded.file, true, loaded.loaded}))
        return StatusModuleErrors;
    return outcome;
}
