// The "File" menu: saving and loading module settings files and head-end configuration
// files, with the dialogs that name them.
#include "app/FileDialogs.h"
#include "app/MainWindow.h"
#include "module/ModuleAddress.h"
#include "panel/CtlPanelFrm.h"
#include "panel/WindowFrame.h"

#include <QAction>
#include <QFileDialog>
#include <QFileInfo>
#include <QScopeGuard>
#include <optional>

namespace {
const QString kModuleFilter = QStringLiteral("Module settings file|*.");

// A save dialog that, like an open dialog for its file, insists on an existing folder.
class FileDialog : public QFileDialog {
public:
    using QFileDialog::QFileDialog;

protected:
    void accept() override {
        const QString chosen = selectedFiles().value(0);
        if (acceptMode() == AcceptSave && !chosen.isEmpty() &&
            !QFileInfo(chosen).absoluteDir().exists()) {
            MessageDialog(this, windowTitle(),
                          QStringLiteral("The folder of %1 does not exist.").arg(chosen), true)
                .exec();
            return;
        }
        QFileDialog::accept();
    }
};

std::optional<QString> g_answer;
QList<FileDialogs::Request> g_asked;
} // namespace

namespace FileDialogs {

QString qtFilter(const QString& pipeFilter) {
    const qsizetype bar = pipeFilter.indexOf(QLatin1Char('|'));
    if (bar < 0)
        return pipeFilter;
    return pipeFilter.left(bar) + QStringLiteral(" (") + pipeFilter.mid(bar + 1) + QLatin1Char(')');
}

std::unique_ptr<QFileDialog> create(QWidget* parent, const Request& request) {
    auto dialog = std::make_unique<FileDialog>(parent, request.title);
    dialog->setOption(QFileDialog::DontUseNativeDialog); // so that accept() above holds
    dialog->setNameFilter(request.filter);
    dialog->setDefaultSuffix(request.extension);
    dialog->setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog->setFileMode(request.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (request.folder) {
        dialog->setFileMode(QFileDialog::Directory);
        dialog->setOption(QFileDialog::ShowDirsOnly);
    }
    const QFileInfo initial(request.initial);
    if (initial.isDir()) {
        dialog->setDirectory(initial.absoluteFilePath());
    } else if (!request.initial.isEmpty()) {
        dialog->setDirectory(initial.absolutePath());
        dialog->selectFile(initial.fileName());
    }
    return dialog;
}

QString ask(QWidget* parent, const Request& request) {
    if (g_answer) {
        g_asked << request;
        return *g_answer;
    }
    const std::unique_ptr<QFileDialog> dialog = create(parent, request);
    if (dialog->exec() != QDialog::Accepted)
        return {};
    return dialog->selectedFiles().value(0);
}

void setAnswer(const QString& answer) {
    g_answer = answer;
    g_asked.clear();
}

void clearAnswer() {
    g_answer.reset();
}

QList<Request> asked() {
    return g_asked;
}

} // namespace FileDialogs

void TMainFrm::connectFileMenu() {
    const auto handler = [this](QAction* item, void (TMainFrm::*click)()) {
        connect(item, &QAction::triggered, this,
                [this, click] { guarded([&] { (this->*click)(); }); });
    };
    handler(itmSaveConfig, &TMainFrm::itmSaveConfigClick);
    handler(itmLoadConfig, &TMainFrm::itmLoadConfigClick);
    handler(itmSaveMod, &TMainFrm::itmSaveModClick);
    handler(itmLoadModule, &TMainFrm::itmLoadModuleClick);
    handler(itmCompare, &TMainFrm::itmCompareClick);
    handler(itmBackupFolder, &TMainFrm::itmBackupFolderClick);
}

// Steps shared by the configuration commands: a scan must have found modules; the view is
// cleared before the dialog opens.
static bool prepareConfigCommand(TMainFrm& m) {
    if (m.state().FoundCount == 0) {
        m.showMessage(FileDialogs::UnknownConfiguration, false);
        return false;
    }
    m.SetStatus(QString());
    m.closeSatellites(false);
    m.releaseAllSlotButtons();
    return true;
}

// Steps shared by the module commands: a scan must have found modules and one must be open.
static bool prepareModuleCommand(TMainFrm& m) {
    if (m.state().FoundCount == 0) {
        m.showMessage(FileDialogs::UnknownConfiguration, false);
        return false;
    }
    if (!m.CtlPanelFrm->isVisible()) {
        m.showMessage(FileDialogs::SelectFirst, true);
        return false;
    }
    // Values written from the panel reach the EEPROM before the file operation resets the
    // module (an image dump, a load).
    m.CtlPanelFrm->commitPending();
    return true;
}

void TMainFrm::itmSaveConfigClick() {
    if (!prepareConfigCommand(*this))
        return;
    const QString name =
        FileDialogs::ask(this, {QStringLiteral("Save current configuration"),
                                FileDialogs::qtFilter(configFilter), configExtension, true});
    if (name.isEmpty())
        return;
    Busy busy(*this, QStringLiteral("save"));
    messageLog.outcome(MessageLog::saveOutcome(
        m_session.saveConfig(name), QStringLiteral("%1 modules").arg(m_state.FoundCount)));
}

void TMainFrm::itmLoadConfigClick() {
    if (!prepareConfigCommand(*this))
        return;
    const QString name =
        FileDialogs::ask(this, {QStringLiteral("Load configuration from file"),
                                FileDialogs::qtFilter(configFilter), configExtension, false});
    if (!name.isEmpty())
        loadConfigFile(name);
}

void TMainFrm::loadConfigFile(const QString& name, const std::optional<ModuleAddresses>& only) {
    Busy busy(*this, QStringLiteral("load"));
    IdleState = 1;
    // The head-end is scanned again however the load ends (a lost port included), so that the
    // work loop never stays stopped behind it.
    const auto rescan = qScopeGuard([this] { IdleState = 2; });
    if (const FileOutcome loaded = m_session.load(name, false, only); loaded.ok())
        m_loadCheck = LoadCheck{name, false, loaded.loaded}; // the scan that follows checks it
    else
        messageLog.outcome(MessageLog::loadStopped(name));
}

void TMainFrm::itmSaveModClick() {
    if (!prepareModuleCommand(*this))
        return;
    const QString name = FileDialogs::ask(
        this, {QStringLiteral("Save module settings"),
               FileDialogs::qtFilter(kModuleFilter + moduleExtension), moduleExtension, true});
    if (name.isEmpty())
        return;
    // Stopped while the file is written, then back to what the loop was doing, so that the
    // open panel is served again.
    const quint8 before = IdleState;
    IdleState = 1;
    Busy busy(*this, QStringLiteral("save"));
    const ModuleAddress at = m_session.currentAddress();
    messageLog.outcome(
        MessageLog::saveOutcome(m_session.saveModule(at, name), "module " + at.name()));
    IdleState = before;
    keepDiagWithPanel();
}

void TMainFrm::keepDiagWithPanel() {
    // The file operation enabled the controls again without "Diag"; the module is still open.
    btInfo->setEnabled(CtlPanelFrm->isVisible());
}

void TMainFrm::itmLoadModuleClick() {
    if (!prepareModuleCommand(*this))
        return;
    const QString name = FileDialogs::ask(
        this, {QStringLiteral("Load module settings"),
               FileDialogs::qtFilter(kModuleFilter + moduleExtension), moduleExtension, false});
    if (!name.isEmpty())
        loadModuleFile(name);
}

void TMainFrm::loadModuleFile(const QString& name) {
    Busy busy(*this, QStringLiteral("load"));
    IdleState = 1;
    // However the load ends, the module is read again and its panel rebuilt.
    const auto reload = qScopeGuard([this] {
        m_state.ReloadRequest = true;
        IdleState = 3;
    });
    if (const FileOutcome loaded = m_session.load(name, true); loaded.ok())
        m_loadCheck = LoadCheck{name, true, loaded.loaded}; // the module read again checks it
    else
        messageLog.outcome(MessageLog::loadStopped(name));
    keepDiagWithPanel();
    m_link.SelectRecord(m_state.CurSubrack, m_state.CurSlot);
}
