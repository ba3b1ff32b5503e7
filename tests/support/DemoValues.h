#pragma once

#include "sim/SimProfile.h"

// What the demo head-end holds, from its profile: the tests name no module type of their own.
struct DemoValues {
    SimProfile profile = demoProfile();

    const SimModuleDef& module(int subrack, int slot) const {
        for (const SimSlotDef& s : profile.modules)
            if (s.subrack == subrack && s.slot == slot)
                return s.module;
        qFatal("the demo has no module at %d/%d", subrack + 1, slot + 1);
    }
    // The amplifier (1/6): its gain as the simulator shows the default and a changed raw value.
    const SimParamDef& gain() const { return module(0, 5).params.at(0); }
    int gainRaw() const { return gain().values.at(0); }
    QString gainShown(int raw) const { return gain().display(raw); }
    QString gainLine(const QString& a, int rawA, const QString& holds, int rawB) const {
        return QStringLiteral("Module 1/6 parameter 0 (%1): %2 %3, %4 %5")
            .arg(gain().name, a, gainShown(rawA), holds, gainShown(rawB));
    }
};
