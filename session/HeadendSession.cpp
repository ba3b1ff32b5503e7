#include "session/HeadendSession.h"

#include "files/Backups.h"
#include "files/ControlsScope.h"
#include "link/EventWait.h"
#include "link/ModuleReload.h"
#include "module/ModuleJson.h"

QJsonObject FileOutcome::json() const {
    const int status = kind == Done ? 0 : kind == ModuleErrors ? 1 : 3;
    return {{"status", status},
            {"notBack", QJsonArray::fromStringList(notBack)},
            {"written", ModuleJson::writeAddresses(loaded.written)},
            {"images", ModuleJson::writeAddresses(loaded.images)}};
}

FileOutcome FileOutcome::fromJson(const QJsonObject& o, const QString& file) {
    FileOutcome out;
    const int status = o["status"].toInt(3);
    out.kind = status == 0 ? Done : status == 1 ? ModuleErrors : Failed;
    out.file = file;
    out.loaded = {ModuleJson::readAddresses(o["written"]), ModuleJson::readAddresses(o["images"])};
    for (const QJsonValue& line : o["notBack"].toArray())
        out.notBack << line.toString();
    return out;
}

NewestBackup NewestBackup::in(const QString& folder) {
    NewestBackup newest;
    newest.file = folder.isEmpty() ? QString() : Backups::newest(folder);
    if (Compare::Blocks blocks;
        !newest.file.isEmpty() && Compare::readFile(newest.file, false, &blocks))
        newest.blocks = blocks;
    return newest;
}

HeadendSession::HeadendSession(LinkHost& host) : m_host(host), m_link(m_modules, m_state, host) {}

HeadendSession::~HeadendSession() = default;

bool HeadendSession::busy() const {
    return !m_running.isEmpty() || EventWait::depth() > 0;
}

int HeadendSession::scan(ScanView& view, const ScanWords& words, const ModuleAddresses& expected,
                         ScanEnd end) {
    Operation op(*this, QStringLiteral("scan"));
    if (behindAgent())
        if (const std::optional<int> found = remoteScan(view, words, expected, end))
            return *found;
    ScanHeadend(m_link, m_modules, m_state, m_host, view, words, expected, end);
    return m_state.FoundCount;
}

bool HeadendSession::probe(const ModuleAddress& at, ScanView& view, const ScanWords& words) {
    return ProbeSlot(m_link, m_modules, m_state, m_host, view, words, at.subrack, at.slot);
}

bool HeadendSession::reload(const std::function<void()>& rebuild, const QString& moduleWord) {
    return ReloadModule(m_link, m_state, m_host, rebuild, moduleWord);
}

bool HeadendSession::reread(bool valuesOnly) {
    m_state.ReloadRequest = true;
    if (valuesOnly)
        m_state.SkipInfoReload = true;
    return reload();
}

QList<int> HeadendSession::refreshMeasured(const ModuleAddress& at, bool* answered) {
    return RefreshMeasured(m_link, m_modules, at.slot, at.subrack, answered);
}

bool HeadendSession::lineFree() const {
    return !m_state.TerminalMode && !m_state.ReloadRequest && !m_link.LinkBusy && !m_link.waiting();
}

FileOutcome HeadendSession::outcome(const SaveLoad& files, bool ok, const QString& file) const {
    FileOutcome o;
    o.kind = !ok                   ? FileOutcome::Failed
             : files.errorsFound() ? FileOutcome::ModuleErrors
                                   : FileOutcome::Done;
    o.file = file;
    o.notBack = files.notBackLines();
    return o;
}

bool HeadendSession::behindAgent() {
    return Transport::kindOf(m_link.ComPort().portName()) == Transport::Kind::Agent;
}

FileOutcome HeadendSession::saveConfig(const QString& file) {
    Operation op(*this, QStringLiteral("save"));
    if (behindAgent())
        if (std::optional<FileOutcome> o = remoteSave(std::nullopt, file))
            return *o;
    SaveLoad files(m_link, m_modules, m_state, m_host);
    const bool ok = files.SaveConfigFile(file);
    return outcome(files, ok, files.savedAs());
}

FileOutcome HeadendSession::saveModule(const ModuleAddress& at, const QString& file) {
    Operation op(*this, QStringLiteral("save"));
    if (behindAgent())
        if (std::optional<FileOutcome> o = remoteSave(at, file))
            return *o;
    SaveLoad files(m_link, m_modules, m_state, m_host);
    const bool ok = files.SaveModuleFile(at.subrack, at.slot, file);
    return outcome(files, ok, file);
}

FileOutcome HeadendSession::load(const QString& file, bool moduleFile,
                                 const std::optional<ModuleAddresses>& only) {
    Operation op(*this, QStringLiteral("load"));
    if (behindAgent())
        if (std::optional<FileOutcome> o = remoteLoad(file, moduleFile, only))
            return *o;
    SaveLoad files(m_link, m_modules, m_state, m_host);
    LoadedModules loaded;
    const bool ok = files.LoadSettingsFile(file, !moduleFile, &loaded, only);
    FileOutcome o = outcome(files, ok, file);
    o.loaded = loaded;
    return o;
}

std::optional<Verify::Outcome> HeadendSession::verify(const LoadCheck& check, bool images) {
    Compare::Blocks file;
    if (!Compare::readFile(check.file, check.moduleFile, &file))
        return std::nullopt;
    LoadedModules checked = check.loaded;
    if (!images) { // the values are checked from the records; no module restarts
        checked.written.removeIf(
            [&](const ModuleAddress& a) { return checked.images.contains(a); });
        checked.images.clear();
    }
    ControlsScope controls(m_host);
    SaveLoad files(m_link, m_modules, m_state, m_host);
    return Verify::check(files, m_modules, file, check.moduleFile, checked);
}

QStringList HeadendSession::readImages(Compare::HeadendCompare& comparison) {
    SaveLoad files(m_link, m_modules, m_state, m_host);
    comparison.readImages(files);
    return files.notBackLines();
}

Compare::Result HeadendSession::againstBackup(const Compare::Blocks& backup,
                                              const std::optional<Compare::Blocks>& live) const {
    return Compare::compare(backup, live ? *live : Compare::headendBlocks(m_modules), true,
                            Compare::describedBy(m_modules));
}
