#pragma once

#include "app/AboutBox.h"
#include "app/MainWindow.h"
#include "app/TerminalFrm.h"
#include "link/ui/CommDialog.h"
#include "panel/CtlPanelFrm.h"

// The program's window set, created in this order: the main window first (it shows itself),
// then the control panel, the terminal window, the communications window and the about box.
struct Program {
    Program()
        : CtlPanelFrm(&MainFrm, MainFrm.link(), MainFrm.Modules(), MainFrm.state(), MainFrm,
                      MainFrm),
          TerminalFrm(MainFrm),
          Cfrm(&MainFrm, MainFrm.link(), MainFrm, [this] { MainFrm.btCloseClick(); }),
          frmAbout(&MainFrm) {
        MainFrm.attach(&CtlPanelFrm, &TerminalFrm, &Cfrm, &frmAbout);
    }

    // The style and font the windows are laid out for; set before the windows exist.
    static void setLook();

    TMainFrm MainFrm;
    TCtlPanelFrm CtlPanelFrm;
    TTerminalFrm TerminalFrm;
    TCfrm Cfrm;
    TfrmAbout frmAbout;
};
