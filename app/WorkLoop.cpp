// The work loop: one step on each idle call of the outermost event loop. It runs the
// start-up, the scan when one is asked for, and while running re-reads the current module
// and rescans on request.
#include "app/DiagFrm.h"
#include "app/Led.h"
#include "app/LiveValues.h"
#include "app/MainWindow.h"
#include "app/TerminalFrm.h"
#include "link/HeadendScan.h"
#include "link/ModuleReload.h"
#include "panel/CtlPanelFrm.h"

#include <QApplication>
#include <QScopeGuard>
#include <QTabWidget>
#include <QToolButton>
#include <utility>

namespace {
const QColor kLime(0, 255, 0);

// The scan as the subrack view shows it.
class MainScanView : public ScanView {
public:
    explicit MainScanView(TMainFrm& m) : m_main(m) {}
    // The page scanned has its own tab, the second subrack's too while it is scanned.
    void showSubrackPage(int subrack) override {
        m_main.showSecondTab(subrack == 1);
        m_main.showPage(subrack);
    }
    void toggleLamp() override { m_main.ldReady->setLedOn(!m_main.ldReady->LedOn()); }
    void slotEmpty(int subrack, int slot) override {
        m_main.setSlotCaption(m_main.slotButton(subrack, slot), QStringLiteral("-"), Qt::black);
    }
    void slotFound(int subrack, int slot, const TModule& module) override {
        m_main.setSlotCaption(m_main.slotButton(subrack, slot), module.TypeName,
                              module.healthy() ? TMainFrm::HealthyColour : TMainFrm::FaultColour);
    }
    void processEvents() override { QCoreApplication::processEvents(); }

private:
    TMainFrm& m_main;
};
} // namespace

void TMainFrm::IdleProc() {
    // A request to close that waited for the work at hand.
    if (m_closeRequested && m_session.running().isEmpty()) {
        close();
        return;
    }
    guarded([this] {
        switch (IdleState) {
        case 0:
            // Leave state 0 first: Init may show message boxes.
            IdleState = 1;
            Init();
            break;
        case 2: {
            Busy busy(*this, QStringLiteral("scan"));
            EnableControls(false);
            Prepare();
            m_state.CurSubrack = 0;
            EnableControls(true);
            if (IdleState == 2) {
                IdleState = 1; // a message of the check must not start the loop's work
                afterScan();
                IdleState = 3;
            }
            break;
        }
        case 3:
            runningStep();
            break;
        default:
            break;
        }
    });
}

void TMainFrm::Prepare() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    MainScanView view(*this);
    view.showSubrackPage(0);
    ScanWords words{ModuleWord, GroupWord};
    lineObserver.beginGroup(QStringLiteral("Scan"));
    const auto grouped = qScopeGuard([this] { lineObserver.endGroup(); });
    try {
        m_session.scan(view, words);
    } catch (const PortError& e) {
        // Stop here instead of scanning again at every idle call.
        QApplication::restoreOverrideCursor();
        view.showSubrackPage(0);
        IdleState = 1;
        if (!closing()) // a close stops a connect under way: nothing to tell
            showMessage(e.text(), true);
        return;
    }
    showPage(0);
    QApplication::restoreOverrideCursor();
    showSecondTab(m_state.Subrack2Visible);
}

void TMainFrm::runningStep() {
    ldReady->setLedOn(true);
    ldReady->setOnColor(kLime);
    if (m_session.reloadDue()) {
        reloadCurrentModule();
        afterReload();
        keepDiagWithPanel(); // whatever re-enabled the controls on the way (a load, its check)
    }
    if (CtlPanelFrm->RestartRequest) {
        closeSatellites(false);
        CtlPanelFrm->RestartRequest = false;
        btRestartClick();
        m_link.LinkBusy = false;
    }
    liveValues->step();
}

void TMainFrm::reloadCurrentModule() {
    m_session.reload(
        [this] {
            CtlPanelFrm->BuildPanel();
            CtlPanelFrm->SetCommitTimer(false);
            // The rebuilt panel may have another number of rows than the one it replaced.
            if (CtlPanelFrm->isVisible())
                placePanel();
        },
        ModuleWord);
    if (!m_statusAfterReload.isEmpty())
        SetStatus(std::exchange(m_statusAfterReload, QString()));
}
