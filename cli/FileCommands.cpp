// The file commands: save-module, load-module, save-config, load-config. The file operations
// report on the host (status texts, "File I/O error.", the load's error lines), so on stderr.
// diff and backup are in DiffCommands.cpp.
#include "cli/CliSession.h"

#include "files/Compare.h"
#include "files/FileTexts.h"
#include "files/SaveLoad.h"
#include "link/ModuleReload.h"

// The outcome of a file operation: false after "File I/O error.", " Errors found" at the end
// of the status text after module problems.
int CliSession::fileOutcome(bool ok) {
    const bool errors = m_host.statusText().endsWith(FileTexts::ErrorsFound);
    m_host.finishStatus(true);
    if (!ok)
        return StatusUnusable;
    return errors ? StatusModuleErrors : StatusDone;
}

// The configuration commands need the records of the whole head-end, as after "Scan".
void CliSession::scanForConfig(const ModuleAddresses& expected) {
    runScan(expected);
    m_host.finishStatus(true);
    if (m_state.FoundCount == 0)
        throw CliFailure{StatusModuleErrors,
                         QStringLiteral("No module answers: there is no configuration.")};
}

int CliSession::files() {
    const QString& c = m_options.command;
    SaveLoad files(m_link, m_modules, m_state, m_host);
    if (c == QLatin1String("save-config")) {
        // The modules of the file it replaces are asked again before they count as gone.
        Compare::Blocks earlier;
        Compare::readFile(m_options.args.at(0), false, &earlier);
        scanForConfig(Compare::addresses(earlier));
        return fileOutcome(files.SaveConfigFile(m_options.args.at(0)));
    }
    if (c == QLatin1String("load-config")) {
        scanForConfig();
        m_state.IdleState = 1;
        LoadedModules loaded;
        const bool ok = files.LoadSettingsFile(m_options.args.at(0), true, &loaded);
        const int outcome = fileOutcome(ok);
        if (ok && m_options.verify && !verifyLoad(files, m_options.args.at(0), false, loaded))
            return StatusModuleErrors;
        return outcome;
    }
    const ModuleAddress at = address(0);
    probe(at);
    m_state.CurSubrack = at.subrack;
    m_state.CurSlot = at.slot;
    m_state.IdleState = 1;
    if (c == QLatin1String("save-module"))
        return fileOutcome(files.SaveModuleFile(at.subrack, at.slot, m_options.args.at(1)));
    LoadedModules loaded;
    const bool ok = files.LoadSettingsFile(m_options.args.at(1), false, &loaded);
    const int outcome = fileOutcome(ok);
    if (ok) {
        // Re-read the module as the program does after loading its settings.
        m_link.SelectModule(at.subrack, at.slot);
        m_state.ReloadRequest = true;
        TransientStatus progress(m_host);
        ReloadModule(m_link, m_state, m_host);
        m_host.finishStatus(false);
    }
    if (ok && m_options.verify && !verifyLoad(files, m_options.args.at(1), true, loaded))
        return StatusModuleErrors;
    return outcome;
}
