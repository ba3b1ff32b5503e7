// Comparing the head-end with files: "File" → "Compare with file…", the check of what a load
// left in the modules, and the newest backup after a scan ("Settings" → "Backup folder…").
#include "app/CompareFrm.h"
#include "app/FileDialogs.h"
#include "app/MainWindow.h"
#include "files/ControlsScope.h"
#include "files/FileTexts.h"
#include "module/ModuleAddress.h"
#include "panel/CtlPanelFrm.h"

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QSettings>

namespace {
const QString kCompareFilter =
    QStringLiteral("HeadEnd config. files (*.mmh);;Module settings file (*.mst)");
const QString kComparing = QStringLiteral("Comparing with file. Wait...");
// The backup folder in the port's settings file, in a section of its own.
const QString kBackupFolderKey = QStringLiteral("Backup/Folder");

QString backupFolder() {
    return QSettings(PortSettingsFile, QSettings::IniFormat).value(kBackupFolderKey).toString();
}

// Puts IdleState back as it was, however the comparison ends.
class IdleStateScope {
public:
    IdleStateScope(quint8& state, quint8 during) : m_state(state), m_before(state) {
        m_state = during;
    }
    ~IdleStateScope() { m_state = m_before; }
    IdleStateScope(const IdleStateScope&) = delete;
    IdleStateScope& operator=(const IdleStateScope&) = delete;

private:
    quint8& m_state;
    quint8 m_before;
};
// Reads the images a comparison needs: each of these modules restarts.
void readImages(TMainFrm& m, Compare::HeadendCompare& comparison, bool moduleFile) {
    if (moduleFile) // the panel's values reach the module before the image read resets it
        m.CtlPanelFrm->commitPending();
    IdleStateScope stopped(m.IdleState, 1);
    ControlsScope controls(m);
    m.SetStatus(kComparing);
    const QStringList notBack = m.session().readImages(comparison);
    if (moduleFile) // the panel's writes go to its module again
        m.link().SelectRecord(m.state().CurSubrack, m.state().CurSlot);
    if (!notBack.isEmpty())
        m.showMessage(notBack.join(QLatin1Char('\n')), true);
}
} // namespace

void TMainFrm::itmCompareClick() {
    if (m_state.FoundCount == 0) {
        showMessage(FileDialogs::UnknownConfiguration, false);
        return;
    }
    const QString name = FileDialogs::ask(
        this, {QStringLiteral("Compare with file"), kCompareFilter, configExtension, false,
               m_backupHint.isEmpty() ? backupFolder() : m_backupHint});
    if (!name.isEmpty())
        compareWithFile(name);
}

void TMainFrm::compareWithFile(const QString& name) {
    const bool moduleFile = Compare::isModuleFile(name);
    if (moduleFile && !CtlPanelFrm->isVisible()) {
        showMessage(FileDialogs::SelectFirst, true);
        return;
    }
    Compare::Blocks file;
    if (!Compare::readFile(name, moduleFile, &file)) {
        showMessage(FileTexts::FileIOError, true);
        return;
    }
    if (!moduleFile) { // the view is closed as for the other configuration commands
        closeSatellites(false);
        releaseAllSlotButtons();
    }
    const ModuleAddress current{m_state.CurSubrack, m_state.CurSlot};
    // The records as the scan read them: nothing goes on the line unless images are asked for.
    Compare::HeadendCompare comparison(m_modules, file,
                                       moduleFile ? std::optional(current) : std::nullopt);
    const QString against = moduleFile ? QStringLiteral("module %1").arg(current.name())
                                       : QStringLiteral("the head-end");
    TCompareFrm window(this, name, against, comparison.result(), comparison.imageModules());
    connect(&window, &TCompareFrm::imagesRequested, this, [&] {
        guarded([&] { readImages(*this, comparison, moduleFile); });
        window.setResult(comparison.result());
        SetStatus(window.lbSummary->text());
    });
    SetStatus(window.lbSummary->text());
    if (window.exec() != TCompareFrm::LoadFile)
        return;
    if (moduleFile)
        loadModuleFile(name);
    else // the rows shown, not every module of the file
        loadConfigFile(name, comparison.result().differing());
}

void TMainFrm::itmBackupFolderClick() {
    FileDialogs::Request request{
        QStringLiteral("Backup folder"), QString(), QString(), false, backupFolder(), true};
    const QString folder = FileDialogs::ask(this, request);
    if (folder.isEmpty())
        return;
    QSettings(PortSettingsFile, QSettings::IniFormat).setValue(kBackupFolderKey, folder);
    SetStatus(QStringLiteral("Backup folder: %1").arg(QDir::toNativeSeparators(folder)));
    if (m_state.FoundCount > 0)
        checkBackup();
}

void TMainFrm::afterScan() {
    if (m_loadCheck && !m_loadCheck->moduleFile)
        verifyLoad();
    else
        checkBackup();
}

void TMainFrm::afterReload() {
    if (m_loadCheck && m_loadCheck->moduleFile)
        verifyLoad();
}

void TMainFrm::verifyLoad() {
    const LoadCheck check = *m_loadCheck;
    m_loadCheck.reset();
    const QString status = statusText();
    // Reading an image back restarts its module once more: the user's choice. The values are
    // checked from the records in any case.
    const QString images = Compare::namedModules(m_modules, check.loaded.images);
    const bool readBack =
        images.isEmpty() ||
        ask(QStringLiteral("Read back the EEPROM images the load wrote, to check them? Each of "
                           "these modules restarts once more: %1.")
                .arg(images),
            QStringLiteral("Read back"));
    const std::optional<Verify::Outcome> outcome = m_session.verify(check, readBack);
    if (!outcome) { // changed since it was loaded: nothing to hold the modules against
        messageLog.outcome(QStringLiteral("Loaded %1; not verified, the file has changed since")
                               .arg(QFileInfo(check.file).fileName()));
        return;
    }
    if (check.moduleFile && readBack && !check.loaded.images.isEmpty())
        m_link.SelectRecord(m_state.CurSubrack, m_state.CurSlot);
    if (Verify::report(*this, *outcome))
        SetStatus(status); // without the marks of the image reads
    const QString notReadBack =
        readBack ? QString() : QStringLiteral("; the images of %1 not read back").arg(images);
    messageLog.outcome(MessageLog::loadOutcome(check.file, *outcome) + notReadBack);
}

void TMainFrm::checkBackup() {
    m_backupHint.clear();
    const NewestBackup newest = NewestBackup::in(backupFolder());
    if (!newest.blocks)
        return;
    // Only what the scan read: parameter modules of the same type in the same slot.
    const Compare::Result result = m_session.againstBackup(*newest.blocks);
    QStringList changed;
    for (const Compare::ModuleDiff& d : result.modules)
        if (d.outcome == Compare::ModuleDiff::Values)
            changed << ModuleAddress{d.subrack, d.slot}.name();
    if (changed.isEmpty())
        return;
    m_backupHint = newest.file;
    SetStatus(QStringLiteral("%1; %2 %3 from backup %4")
                  .arg(statusText(), changed.join(QStringLiteral(", ")),
                       changed.size() == 1 ? QStringLiteral("differs") : QStringLiteral("differ"),
                       QFileInfo(newest.file).fileName()));
}
