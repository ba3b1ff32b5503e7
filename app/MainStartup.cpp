// Start-up and exit of the program: the one-time initialisation on the first idle call, the
// settings file "OXL.ini" and the exit routine.
#include "app/Artwork.h"
#include "app/Led.h"
#include "app/MainWindow.h"
#include "app/TerminalFrm.h"
#include "link/PortInfo.h"
#include "link/ui/CommDialog.h"
#include "panel/CtlPanelFrm.h"
#include "panel/GradientCaption.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QSaveFile>
#include <QStatusBar>
#include <QTabWidget>
#include <QtEndian>

namespace {
const QString kSettingsFile = QStringLiteral("OXL.ini");
constexpr qint32 kDefaultScanTimeout = 50;
// The longest scan time-out taken from the file: no reply of a module takes longer. A value
// beyond it is not one the communications window writes (its longest is 500), and would make
// the module commands wait far too long.
constexpr qint32 kLongestScanTimeout = 2000;
} // namespace

void TMainFrm::readSettingsFile() {
    QFile file(kSettingsFile);
    if (!file.exists()) {
        StoredScanTimeout = kDefaultScanTimeout;
        writeScanTimeout(kDefaultScanTimeout);
        return;
    }
    const QByteArray record = file.open(QIODevice::ReadOnly) ? file.read(4) : QByteArray();
    if (record.size() != 4) {
        showMessage(QStringLiteral("Init File accessing error"), true);
        return;
    }
    StoredScanTimeout = qFromLittleEndian<qint32>(record.constData());
}

bool TMainFrm::writeScanTimeout(qint32 value) {
    char record[4];
    qToLittleEndian<qint32>(value, record);
    QSaveFile file(kSettingsFile);
    // A folder that cannot be written may still hold a settings file that can.
    file.setDirectWriteFallback(true);
    if (file.open(QIODevice::WriteOnly) && file.write(record, 4) == 4 && file.commit())
        return true;
    m_settingsError = file.errorString();
    return false;
}

void TMainFrm::checkSettingsFolder() {
    const QFileInfo folder(QDir::currentPath());
    const auto writable = [&](const QString& name) {
        const QFileInfo f(folder.absoluteDir(), name);
        return f.exists() ? f.isWritable() : folder.isWritable();
    };
    if (m_settingsError.isEmpty() && writable(kSettingsFile) && writable(PortSettingsFile))
        return;
    // Said once: the program works on, with the settings it has, and exits when asked.
    m_settingsKept = false;
    showMessage(QStringLiteral("The folder %1 cannot be written%2: the scan time-out and the port "
                               "chosen are used but not kept. Start ORVEX Link in a folder of "
                               "your own to keep them.")
                    .arg(QDir::toNativeSeparators(folder.absoluteFilePath()),
                         m_settingsError.isEmpty() ? QString()
                                                   : QStringLiteral(" (%1)").arg(m_settingsError)),
                true);
}

void TMainFrm::Init() {
    if (m_args.value(1).toLower() != QLatin1String("/k")) {
        for (QAction* item : {ModDefaults, ResetModuletype, LineBreak, SpecAddr}) {
            item->setVisible(false);
            item->setEnabled(false);
        }
    }
    CtlPanelFrm->hide();
    TerminalFrm->hide();
    btInfo->setEnabled(false);
    pcModSwitch->setEnabled(false);
    m_state.TerminalMode = false;
    readSettingsFile();
    checkSettingsFolder();
    m_state.CurSlot = 0;
    // Captioned before the line opens: a remote line may take seconds to connect.
    setWindowIcon(orvexIcon());
    RxGCaption->setCaption(QStringLiteral(" ORVEX Link"));
    setWindowTitle(QStringLiteral("ORVEX Link"));
    // "orvex-link --port NAME": this run's port, whatever OXLCom.ini says (and not kept there).
    const qsizetype portArg = m_args.indexOf(QStringLiteral("--port"));
    if (!m_link.OpenLink(portArg > 0 ? m_args.value(portArg + 1) : QString()) && !closing())
        showMessage(Ports::notOpenedText(m_link.ComPort().errorString()), true);
    // A stored time-out that no transaction can use falls back to the default.
    const bool usable = StoredScanTimeout > 0 && StoredScanTimeout <= kLongestScanTimeout;
    m_link.ScanTimeout = usable ? StoredScanTimeout : kDefaultScanTimeout;
    if (StoredScanTimeout > kLongestScanTimeout)
        SetStatus(QStringLiteral("The scan time-out in %1 (%2 ms) is out of range: %3 ms is used.")
                      .arg(kSettingsFile)
                      .arg(StoredScanTimeout)
                      .arg(kDefaultScanTimeout));
    Cfrm->selectScanTime(m_link.ScanTimeout);
    ldReady->setOnColor(QColor(255, 255, 0));
    ldReady->setLedOn(true);
    m_link.ReplyTimeout = m_link.ScanTimeout;
    showPage(0);
    m_state.Subrack2Visible = false;
    showSecondTab(false);
    ModuleWord = QStringLiteral("Module");
    GroupWord = QStringLiteral("Group");
    moduleExtension = QStringLiteral("mst");
}

void TMainFrm::btCloseClick() {
    m_closing = true;
    if (TerminalFrm && TerminalFrm->isVisible())
        TerminalFrm->close();
    if (CtlPanelFrm) {
        CtlPanelFrm->commitPending(); // while the port is still there
        if (CtlPanelFrm->isVisible())
            CtlPanelFrm->ClearPanel();
    }
    m_link.ReplyTimeout = m_link.ScanTimeout;
    m_link.closePort();
    for (int g = 0; g < 2; ++g)
        for (int s = 0; s < 16; ++s)
            m_modules.free(s, g);
    StoredScanTimeout = m_link.ScanTimeout;
    if (m_settingsKept) {
        if (!writeScanTimeout(StoredScanTimeout))
            showMessage(QStringLiteral("The settings file %1 cannot be written: %2")
                            .arg(kSettingsFile, m_settingsError),
                        true);
        m_link.StorePortSettings();
    }
    QCoreApplication::quit();
}
