// The satellite windows (control panel, terminal, diagnostics) sit directly above the main
// window, as wide as it and with its left edge.
#include "app/DiagFrm.h"
#include "app/MainWindow.h"
#include "app/Placement.h"
#include "app/TerminalFrm.h"
#include "panel/CtlPanelFrm.h"

#include <QMoveEvent>
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

void TMainFrm::placeDiag() {
    if (!DiagFrm)
        return;
    DiagFrm->hide();
    DiagFrm->setGeometry(Placement::above(frameGeometry(), DiagFrm->height()));
    DiagFrm->show();
}

void TMainFrm::connectSatellites() {
    // A satellite the user drags takes the main window along; a move the program makes
    // while the main window is active (it moves the satellites) does not move it back.
    connect(CtlPanelFrm, &SatelliteWindow::moved, this, [this] {
        if (!isActiveWindow() && CtlPanelFrm->isVisible())
            move(Placement::mainBelow(CtlPanelFrm->frameGeometry()));
    });
    connect(TerminalFrm, &SatelliteWindow::moved, this, [this] {
        if (isActiveWindow() || !TerminalFrm->isVisible())
            return;
        move(Placement::mainBelow(TerminalFrm->frameGeometry()));
        if (CtlPanelFrm->isVisible() && CtlPanelFrm->focusWidget())
            CtlPanelFrm->focusWidget()->clearFocus();
    });
}

void TMainFrm::diagMoved() {
    if (isActiveWindow() || !DiagFrm)
        return;
    move(Placement::mainBelow(DiagFrm->frameGeometry()));
    if (CtlPanelFrm->isVisible())
        placePanel();
    if (TerminalFrm->isVisible()) {
        placeTerminal();
        TerminalFrm->show();
    }
}

void TMainFrm::moveEvent(QMoveEvent* e) {
    QWidget::moveEvent(e);
    if (!isVisible() || !isActiveWindow() || !CtlPanelFrm)
        return;
    if (CtlPanelFrm->isVisible()) {
        if (TerminalFrm->isVisible())
            CtlPanelFrm->hide();
        else
            CtlPanelFrm->show();
        if (QWidget* focused = CtlPanelFrm->focusWidget())
            focused->clearFocus();
        placePanel();
    }
    if (TerminalFrm->isVisible()) {
        placeTerminal();
        TerminalFrm->show();
    }
    if (DiagFrm)
        placeDiag();
}

void TMainFrm::minimiseSatellites() {
    if (CtlPanelFrm->isVisible()) {
        CtlPanelFrm->hide();
        CtlPanelFrm->PanelShown = true;
    }
    if (DiagFrm)
        DiagFrm->hide();
    if (TerminalFrm->isVisible()) {
        TerminalFrm->close();
        if (CtlPanelFrm->isVisible())
            CtlPanelFrm->hide();
        TerminalFrm->RestoreFlag = true;
    }
}

void TMainFrm::restoreSatellites() {
    if (CtlPanelFrm->PanelShown)
        CtlPanelFrm->show();
    if (DiagFrm)
        DiagFrm->show();
    if (TerminalFrm->RestoreFlag) {
        CtlPanelFrm->show();
        CtlPanelFrm->ParamButtonClick();
        TerminalFrm->show();
    }
}
