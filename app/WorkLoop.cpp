// The work loop: one step on each idle call of the outermost event loop.
#include "app/MainWindow.h"

void TMainFrm::IdleProc() {
    guarded([this] {
        switch (m_state.IdleState) {
        case 0:
            // Leave state 0 first: Init may show message boxes.
            m_state.IdleState = 1;
            Init();
            break;
        default:
            break;
        }
    });
}
