// The "Diag" button: the diagnostic report of the current module in its own window.
#include "app/DiagFrm.h"
#include "app/MainWindow.h"
#include "app/TerminalFrm.h"
#include "link/DiagReport.h"
#include "panel/CtlPanelFrm.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTextDocument>
#include <QToolButton>

namespace {
// Pixel height of the memo's font; a line of the report takes 4 more pixels.
constexpr int kMemoFontHeight = 11;
} // namespace

void TMainFrm::DiagCreate() {
    DiagFrm = new TDiagFrm(this);
    connect(DiagFrm, &SatelliteWindow::moved, this, &TMainFrm::diagMoved);
    placeDiag();
    DiagFrm->show();
}

void TMainFrm::btInfoClick() {
    if (DiagFrm) {
        DiagFrm->close();
        delete DiagFrm.data();
        if (!CtlPanelFrm->isVisible() && !TerminalFrm->isVisible()) {
            placePanel();
            if (CtlPanelFrm->controlCount() > 0) {
                CtlPanelFrm->show();
                if (QWidget* focused = CtlPanelFrm->focusWidget())
                    focused->clearFocus();
            } else {
                CtlPanelFrm->hide();
            }
        }
        return;
    }
    if (!currentModule())
        return;
    CtlPanelFrm->hide();
    if (TerminalFrm->isVisible())
        TerminalFrm->close();
    DiagCreate();
    const int slot = m_state.CurSlot;
    DiagFrm->setCaption(moduleText(QStringLiteral(" diagnostic")));
    const QStringList lines = DiagReport(m_link, m_modules, slot, m_state.CurSubrack, ModuleWord);
    if (!DiagFrm)
        return; // closed while the module was asked
    if (QToolButton* b = slotButton(pcModSwitch->currentIndex(), slot))
        setSlotCaption(b, b->text(),
                       currentModule()->healthy() ? QColor(0, 128, 0) : QColor(255, 0, 0));
    DiagFrm->mmDiag->setPlainText(lines.join(QLatin1Char('\n')));
    if (m_state.TerminalMode && TerminalFrm->isVisible())
        TerminalFrm->close();
    DiagFrm->hide();
    // Every line in sight: the memo's text area gets the height of its lines, the window the
    // caption and borders around it.
    const int text = int(lines.size()) * (4 + kMemoFontHeight) +
                     2 * int(DiagFrm->mmDiag->document()->documentMargin());
    DiagFrm->resize(DiagFrm->width(), DiagFrm->outerHeightFor(text));
    placeDiag();
}
