// The service commands of the status bar's pop-up menu and the "Settings" menu.
#include "app/DiagFrm.h"
#include "app/MainWindow.h"
#include "app/TerminalFrm.h"
#include "link/ui/CommDialog.h"
#include "panel/CtlPanelFrm.h"

#include <QAction>
#include <QMenu>
#include <QPushButton>

void TMainFrm::connectCommands() {
    auto bind = [this](QAction* action, void (TMainFrm::*handler)()) {
        connect(action, &QAction::triggered, this,
                [this, handler] { guarded([&] { (this->*handler)(); }); });
    };
    bind(ModReset, &TMainFrm::ModResetClick);
    bind(ResetModuletype, &TMainFrm::ResetModuletypeClick);
    bind(ModDefaults, &TMainFrm::ModDefaultsClick);
    bind(SpecAddr, &TMainFrm::SpecAddrClick);
    bind(LineBreak, &TMainFrm::LineBreakClick);
    bind(itmCommSettings, &TMainFrm::itmCommSettingsClick);
    bind(RussianHelp, &TMainFrm::RussianHelpClick);
    bind(EnglishHelp, &TMainFrm::EnglishHelpClick);
    bind(About, &TMainFrm::AboutClick);
    connect(btInfo, &QPushButton::clicked, this, [this] { guarded([this] { btInfoClick(); }); });
}

void TMainFrm::ModResetClick() {
    CtlPanelFrm->commitPending(); // before the reset, which returns to what the EEPROM holds
    SetStatus(QString());
    if (TerminalFrm->isVisible())
        TerminalFrm->close();
    if (DiagFrm) {
        DiagFrm->close();
        delete DiagFrm.data();
    }
    if (CtlPanelFrm->isVisible()) {
        CtlPanelFrm->hide();
        CtlPanelFrm->ClearPanel();
    }
    m_link.ReplyTimeout = m_link.ScanTimeout;
    const bool reset = m_link.ResetModule();
    releaseAllSlotButtons();
    markCurrentSlot();
    SetStatus(moduleText(reset ? QStringLiteral(" reset.")
                               : QStringLiteral(" did not confirm the reset.")));
}

void TMainFrm::ResetModuletypeClick() {
    if (!m_link.ResetModuleType())
        return;
    closeSatellites(false);
    btRestartClick();
}

void TMainFrm::ModDefaultsClick() {
    // Only the family that takes its defaults as writes asks for a re-read: the others
    // store their defaults themselves and are not committed again.
    m_state.ReloadRequest = false;
    const bool loaded = m_link.LoadDefaults(m_state.CurSlot, m_state.CurSubrack);
    m_state.SkipCommit = !m_state.ReloadRequest;
    markCurrentSlot();
    SetStatus(moduleText(loaded ? QStringLiteral(" defaults loaded.")
                                : QStringLiteral(" did not take its defaults.")));
    // Whatever the module took, the open panel must show what it holds now: the work loop
    // reads its values again first, then the status says it once more.
    m_state.ReloadRequest = true;
    m_state.SkipInfoReload = true;
    m_statusAfterReload = statusText();
}

void TMainFrm::SpecAddrClick() {
    CtlPanelFrm->commitPending(); // it belongs to the module open before
    m_state.CurSlot = Protocol::SpecialSlot;
    m_state.CurSubrack = 0;
    m_link.ReplyTimeout = Protocol::PresenceTimeout;
    m_link.SelectModule(0, Protocol::SpecialSlot);
    // The module on the special address is shown as if it sat in slot 1 of subrack 1; it is
    // addressed where it answers, and 1/1's record is kept for when the user turns back.
    m_state.CurSlot = 0;
    m_modules.showSpecial();
    m_link.ReadInfoBlock(0, 0);
    m_link.ReadValues(0, 0);
    m_link.ReadVersion(0, 0);
    placePanel();
    CtlPanelFrm->BuildPanel();
    CtlPanelFrm->show();
    placePanel();
    btInfo->setEnabled(true);
    SetStatus(QStringLiteral("Special address selected."));
}

void TMainFrm::LineBreakClick() {
    // A break-like pulse; the port is left closed.
    SerialPort& port = m_link.ComPort();
    if (port.lineBreak()) {
        SetStatus(QStringLiteral("LineBreak sent."));
        return;
    }
    // A raw TCP line or an agent's has no break to give: it says so, and nothing is sent.
    if (const auto kind = Transport::kindOf(port.portName());
        kind == Transport::Kind::RawTcp || kind == Transport::Kind::Agent) {
        showMessage(port.errorString(), true);
        return;
    }
    throw PortError(
        QStringLiteral("The serial port cannot be opened (%1).").arg(port.errorString()));
}

void TMainFrm::itmCommSettingsClick() {
    Cfrm->FormShow();
    Cfrm->exec();
}
