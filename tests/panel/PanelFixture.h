#pragma once

#include "module/Parsers.h"
#include "panel/CtlPanelFrm.h"
#include "panel/PanelHost.h"
#include "tests/module/Wire.h"
#include "tests/support/LinkFixture.h"

// What the main window does for the panel, reduced to what a test looks at.
struct TestPanelHost : PanelHost {
    void placePanel() override {
        ++placed;
        if (panel)
            panel->setGeometry(100, 100, 617, panel->PanelRows * 35 + 30);
    }
    void openTerminalFromPanel() override { ++terminalOpened; }
    void setDiagEnabled(bool enabled) override { diagEnabled = enabled; }

    TCtlPanelFrm* panel = nullptr;
    int placed = 0;
    int terminalOpened = 0;
    bool diagEnabled = true;
};

// The panel on a link to a scripted peer, with the current module in slot index 4.
struct PanelFixture : LinkFixture {
    PanelFixture() : panel(nullptr, *link, modules, state, panelHost, host) {
        panelHost.panel = &panel;
        state.CurSlot = 4;
        state.CurSubrack = 0;
    }

    // The current module from an info block written as in Wire.h, values given in order.
    TModule& module(const QByteArray& block, const QList<int>& values = {}) {
        TModule& m = modules.renew(state.CurSlot, state.CurSubrack);
        ParseInfoBlock(m, rx(block));
        for (int i = 0; i < values.size() && i < m.Params.size(); ++i)
            m.Params[i].Values[0] = values[i];
        return m;
    }
    TModule& build(const QByteArray& block, const QList<int>& values = {}) {
        TModule& m = module(block, values);
        panel.BuildPanel();
        return m;
    }
    // Every frame the peer received, control bytes written as in Wire.h: "!50|61~".
    QByteArrayList sent() const {
        QByteArrayList out;
        for (QByteArray f : peer.frames()) {
            f.replace('\n', '|').replace('\r', '~');
            out << f;
        }
        return out;
    }
    template <class W> W* control(int index) const {
        return qobject_cast<W*>(panel.ParamControls.value(index).data());
    }

    TestPanelHost panelHost;
    TCtlPanelFrm panel;
};
