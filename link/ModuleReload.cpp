#include "link/ModuleReload.h"

#include "link/Link.h"
#include "link/LinkHost.h"
#include "link/SharedState.h"

bool ReloadModule(Link& link, SharedState& state, LinkHost& host,
                  const std::function<void()>& rebuild, const QString& moduleWord) {
    const int slot = state.CurSlot;
    const int subrack = state.CurSubrack;
    state.ReloadRequest = false;
    link.ReplyTimeout = Link::ReadTimeout;
    link.SelectModule(subrack, slot);
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
    const bool committed = !state.SkipInfoReload && link.CommitEEPROM(slot, subrack);
    host.SetStatus(moduleWord + QStringLiteral(" #") + QString::number(slot + 1) +
                   QStringLiteral(" selected"));
    return committed;
}
