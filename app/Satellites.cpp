// The satellite windows (control panel, terminal, diagnostics) sit directly above the main
// window, as wide as it and with its left edge.
#include "app/MainWindow.h"
#include "app/Placement.h"
#include "app/TerminalFrm.h"
#include "panel/CtlPanelFrm.h"

#include <QPushButton>

void TMainFrm::placePanel() {
    const TModule* m = currentModule();
    CtlPanelFrm->setGeometry(
        Placement::above(frameGeometry(), Placement::panelHeight(CtlPanelFrm->PanelRows)));
    CtlPanelFrm->setCaption(ModuleWord + QStringLiteral(" #") +
                            QString::number(m_state.CurSlot + 1) + QStringLiteral(":  ") +
                            (m ? m->TypeName : QString()) + QStringLiteral("  Vers. ") +
                            (m ? m->VersionText : QString()));
}

void TMainFrm::placeTerminal() {
    const TModule* m = currentModule();
    TerminalFrm->setGeometry(Placement::above(frameGeometry(), Placement::TerminalHeight));
    TerminalFrm->setCaption(ModuleWord + QStringLiteral(" #") +
                            QString::number(m_state.CurSubrack + 1) + QStringLiteral("/") +
                            QString::number(m_state.CurSlot + 1) + QStringLiteral(":  ") +
                            (m ? m->TypeName : QString()));
}

void TMainFrm::openTerminalFromPanel() {
    placeTerminal();
    TerminalFrm->show();
    TerminalFrm->activateWindow();
    TerminalFrm->setFocus();
    if (QWidget* focused = focusWidget())
        focused->clearFocus();
}

void TMainFrm::setDiagEnabled(bool enabled) {
    btInfo->setEnabled(enabled);
}
