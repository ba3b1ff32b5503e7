// The subrack view: selecting a module, "Scan", switching subrack pages.
#include "app/DiagFrm.h"
#include "app/Led.h"
#include "app/MainWindow.h"
#include "app/TerminalFrm.h"
#include "html/ui/ModulePagesWindow.h"
#include "panel/CtlPanelFrm.h"

#include <QPushButton>
#include <QTabWidget>
#include <QToolButton>

void TMainFrm::setSlotCaption(QToolButton* button, const QString& text, const QColor& colour) {
    button->setText(text);
    button->setToolTip(text.trimmed());
    QPalette pal = button->palette();
    pal.setColor(QPalette::ButtonText, colour);
    button->setPalette(pal);
}

void TMainFrm::showPage(int index) {
    const QSignalBlocker quiet(pcModSwitch);
    pcModSwitch->setCurrentIndex(index);
}

void TMainFrm::showSecondTab(bool visible) {
    const QSignalBlocker quiet(pcModSwitch);
    pcModSwitch->setTabVisible(1, visible);
}

void TMainFrm::closeSatellites(bool resetTerminalMode) {
    // A commit still pending belongs to the module that is current now.
    CtlPanelFrm->commitPending();
    m_modules.hideSpecial(); // whatever comes next works on slot 1/1 as scanned
    if (CtlPanelFrm->isVisible()) {
        CtlPanelFrm->hide();
        CtlPanelFrm->ClearPanel();
    }
    if (resetTerminalMode)
        m_state.TerminalMode = false;
    if (TerminalFrm->isVisible())
        TerminalFrm->close();
    if (DiagFrm) {
        DiagFrm->close();
        delete DiagFrm.data();
    }
}

void TMainFrm::releaseAllSlotButtons() {
    for (QToolButton* b : sbM)
        b->setChecked(false);
}

void TMainFrm::markCurrentSlot() {
    if (m_state.CurSlot < 0 || m_state.CurSlot > 15)
        return;
    for (QToolButton* b : sbM)
        b->setChecked(b == slotButton(m_state.CurSubrack, m_state.CurSlot));
}

void TMainFrm::sbM1Click(QToolButton* button) {
    closeSatellites(true);
    const int n = button->objectName().mid(3).toInt();
    m_state.CurSlot = n - 16 * m_state.CurSubrack - 1;
    m_link.ReplyTimeout = Protocol::PresenceTimeout;
    const bool present = m_link.SelectModule(m_state.CurSubrack, m_state.CurSlot);
    TModule* m = currentModule();
    if (button->text() == QLatin1String("-") || !present || !m) {
        // Nothing to work on here: no status or "Diag" may still speak of the module before.
        SetStatus(button->text() == QLatin1String("-")
                      ? QString()
                      : moduleText(QStringLiteral(" does not answer.")));
        btInfo->setEnabled(false);
        CtlPanelFrm->hide();
        CtlPanelFrm->ClearPanel();
    } else {
        if (m->InfoKind == InfoTerminal) {
            if (!TerminalFrm->isVisible()) {
                placeTerminal();
                TerminalFrm->show();
            }
        } else if (m->hasHtmlPages()) {
            openModulePages(button);
            return;
        } else {
            m_link.ReadValues(m_state.CurSlot, m_state.CurSubrack);
            btInfo->setEnabled(true);
            CtlPanelFrm->BuildPanel();
            CtlPanelFrm->show();
            placePanel();
        }
        SetStatus(moduleText(QStringLiteral(" selected")));
    }
    // The pressed button stays the only one down on its page.
    const int page = (n - 1) / 16;
    for (int i = 0; i < 16; ++i)
        sbM[page * 16 + i]->setChecked(sbM[page * 16 + i] == button);
}

void TMainFrm::openModulePages(QToolButton* button) {
    // The pages window takes the line with a channel of its own and gives it back closed.
    const QString port = m_link.ComPort().portName();
    m_link.closePort();
    // The window's event loop runs the idle step too: a re-read asked for earlier must not
    // open the port again while the pages hold the line.
    const quint8 before = IdleState;
    IdleState = 1;
    ShowModulePages(port, Link::selectFrame(m_state.CurSubrack, m_state.CurSlot), this,
                    [this](char dir, const QByteArray& bytes) { lineObserver.bytes(dir, bytes); });
    IdleState = before;
    button->setChecked(false);
    // No module is open now: neither the status nor "Diag" speaks of the one before.
    btInfo->setEnabled(false);
    SetStatus(moduleText(QStringLiteral(" pages closed.")));
    m_link.OpenLink();
}

QString TMainFrm::moduleText(const QString& what) const {
    return ModuleWord + QStringLiteral(" #") + QString::number(m_state.CurSlot + 1) + what;
}

void TMainFrm::btRestartClick() {
    closeSatellites(true);
    QWidget* page = pcModSwitch->currentWidget();
    for (QToolButton* b : sbM) {
        if (b->parentWidget() == page) {
            b->setChecked(false);
            setSlotCaption(b, b->text(), Qt::black);
        }
    }
    m_state.CurSlot = 0;
    ldReady->setOnColor(QColor(255, 0, 0));
    IdleState = 2;
}

void TMainFrm::pcModSwitchChange(int index) {
    closeSatellites(false);
    releaseAllSlotButtons();
    m_state.CurSubrack = index;
}
