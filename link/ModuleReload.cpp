#include "link/ModuleReload.h"

#include "link/Link.h"
#include "link/LinkHost.h"
#include "link/SharedState.h"
#include "module/ModuleTable.h"

#include <utility>

bool ReloadModule(Link& link, SharedState& state, LinkHost& host,
                  const std::function<void()>& rebuild, const QString& moduleWord) {
    const int slot = state.CurSlot;
    const int subrack = state.CurSubrack;
    state.ReloadRequest = false;
    link.ReplyTimeout = Link::ReadTimeout;
    link.SelectRecord(subrack, slot);
    if (!state.SkipInfoReload) {
        host.SetStatus(QStringLiteral("Reloading module info"));
        link.ReadInfoBlock(slot, subrack);
    }
    state.SkipInfoReload = false;
    host.SetStatus(QStringLiteral("Reloading parameters values"));
    link.ComPort().purge(true, true);
    link.ReadValues(slot, subrack);
    host.SetStatus(QStringLiteral("Reloading module diagnostic info"));
    if (rebuild)
        rebuild();
    // A value write that failed meanwhile sets SkipInfoReload again: no commit then.
    const bool skip = std::exchange(state.SkipCommit, false) || state.SkipInfoReload;
    const bool committed = !skip && link.CommitEEPROM(slot, subrack);
    host.SetStatus(moduleWord + QStringLiteral(" #") + QString::number(slot + 1) +
                   QStringLiteral(" selected"));
    return committed;
}

bool IsMeasured(const TParam& p) {
    if (p.Kind == KindInfo || p.Kind == KindTerminal || (p.Flags & FlagHidden))
        return false;
    return p.Kind == KindNumericRO || (p.Flags & FlagReadOnly);
}

bool HasMeasured(const TModule& m) {
    for (const TParam& p : m.Params)
        if (IsMeasured(p))
            return true;
    return false;
}

QList<int> RefreshMeasured(Link& link, ModuleTable& modules, int slot, int subrack,
                           bool* answered) {
    TModule* m = modules.at(slot, subrack);
    if (!m)
        return {};
    TModule kept = *m;
    // A module gone from its slot costs a presence check, not a read's long wait.
    link.ReplyTimeout = Protocol::PresenceTimeout;
    bool read = link.SelectRecord(subrack, slot);
    if (read) {
        link.ComPort().purge(true, false);
        try {
            read = link.ReadValues(slot, subrack);
        } catch (const ParseError&) {
            read = false;
        }
    }
    if (answered)
        *answered = read;
    QList<int> changed;
    TModule* now = modules.at(slot, subrack);
    for (int i = 0; read && now && i < kept.Params.size() && i < now->Params.size(); ++i) {
        TParam& p = kept.Params[i];
        if (IsMeasured(p) && p.Values != now->Params[i].Values) {
            p.Values = now->Params[i].Values;
            changed << i;
        }
    }
    if (now)
        *now = kept;
    return changed;
}
