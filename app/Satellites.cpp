// The satellite windows (control panel, terminal, diagnostics) sit directly above the main
// window, as wide as it and with its left edge.
#include "app/DiagFrm.h"
#include "app/LiveValues.h"
#include "app/MainWindow.h"
#include "app/Placement.h"
#include "app/TerminalFrm.h"
#include "panel/CtlPanelFrm.h"
#include "panel/GradientCaption.h"

#include <QMoveEvent>
#include <QPushButton>
#include <QScreen>

QRect TMainFrm::screenArea() const {
    return screen()->availableGeometry();
}

void TMainFrm::placeAbove(QWidget* satellite, int height) {
    const Placement::Stack s = Placement::stack(frameGeometry(), height, screenArea());
    if (s.main.topLeft() != frameGeometry().topLeft()) {
        // Made room on the screen: the move is the program's, the satellites stay as they are.
        m_placing = true;
        move(s.main.topLeft());
        m_placing = false;
    }
    satellite->setGeometry(s.satellite);
}

void TMainFrm::followSatellite(QWidget* satellite) {
    const QRect below(Placement::mainBelow(satellite->frameGeometry()), frameGeometry().size());
    const Placement::Stack s = Placement::stack(below, satellite->height(), screenArea());
    move(s.main.topLeft());
    // Where the screen stops the main window, the satellite stays directly above it.
    if (s.satellite != satellite->frameGeometry())
        satellite->setGeometry(s.satellite);
}

void TMainFrm::placePanel() {
    const TModule* m = currentModule();
    placeAbove(CtlPanelFrm, Placement::panelHeight(CtlPanelFrm->PanelRows));
    CtlPanelFrm->setCaption(moduleText(QStringLiteral(":  ") + (m ? m->TypeName : QString()) +
                                       QStringLiteral("  Vers. ") +
                                       (m ? m->VersionText : QString())));
}

void TMainFrm::placeTerminal() {
    const TModule* m = currentModule();
    placeAbove(TerminalFrm, Placement::TerminalHeight);
    TerminalFrm->setCaption(ModuleWord + QStringLiteral(" #") +
                            QString::number(m_state.CurSubrack + 1) + QStringLiteral("/") +
                            QString::number(m_state.CurSlot + 1) + QStringLiteral(":  ") +
                            (m ? m->TypeName : QString()));
}

void TMainFrm::openTerminalFromPanel() {
    placeTerminal();
    TerminalFrm->show();
    TerminalFrm->takeKeyboard();
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
    placeAbove(DiagFrm, DiagFrm->height());
    DiagFrm->show();
}

void TMainFrm::connectSatellites() {
    // The panel's opening read counts as the first: live reads follow one interval after it.
    connect(CtlPanelFrm, &TCtlPanelFrm::built, liveValues, &LiveValues::restart);
    // A satellite the user drags takes the main window along; a move the program makes
    // while the main window is active (it moves the satellites) does not move it back.
    connect(CtlPanelFrm, &SatelliteWindow::moved, this, [this] {
        if (!isActiveWindow() && CtlPanelFrm->isVisible())
            followSatellite(CtlPanelFrm);
    });
    connect(TerminalFrm, &SatelliteWindow::moved, this, [this] {
        if (isActiveWindow() || !TerminalFrm->isVisible())
            return;
        followSatellite(TerminalFrm);
        if (CtlPanelFrm->isVisible() && CtlPanelFrm->focusWidget())
            CtlPanelFrm->focusWidget()->clearFocus();
    });
    // The main window is active while the user drags it (that is how its satellites know to
    // follow); once he lets go, the console has the keyboard again.
    connect(RxGCaption, &GradientCaption::released, this, [this] {
        if (TerminalFrm->isVisible())
            TerminalFrm->takeKeyboard();
    });
}

void TMainFrm::diagMoved() {
    if (isActiveWindow() || !DiagFrm)
        return;
    followSatellite(DiagFrm);
    if (CtlPanelFrm->isVisible())
        placePanel();
    if (TerminalFrm->isVisible()) {
        placeTerminal();
        TerminalFrm->show();
    }
}

void TMainFrm::moveEvent(QMoveEvent* e) {
    QWidget::moveEvent(e);
    if (m_placing || !isVisible() || !isActiveWindow() || !CtlPanelFrm)
        return;
    if (!CtlPanelFrm->isVisible() && !TerminalFrm->isVisible() && !DiagFrm) {
        // Alone, the main window keeps its caption on the screen all the same.
        const QPoint onScreen = Placement::stack(frameGeometry(), 0, screenArea()).main.topLeft();
        if (onScreen != frameGeometry().topLeft())
            move(onScreen);
        return;
    }
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
