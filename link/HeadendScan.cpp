#include "link/HeadendScan.h"
#include "link/PortInfo.h"

#include "link/Link.h"
#include "link/LinkHost.h"
#include "link/SharedState.h"
#include "module/ModuleAddress.h"
#include "module/ModuleTable.h"

#include <QCoreApplication>

namespace {
constexpr int kSlotsPerSubrack = 16;

// The presence check. Where a module answered before and now none does, a console left open
// on the line may be taking every frame as keys: it is ended and the module asked again.
bool selectOrRecover(Link& link, int g, int s, bool answeredBefore) {
    link.ReplyTimeout = Protocol::PresenceTimeout;
    if (link.SelectModule(g, s))
        return true;
    if (!answeredBefore)
        return false;
    link.endStrayConsole(
        QStringLiteral("no module answers in %1, where one did").arg(ModuleAddress{g, s}.name()));
    link.ReplyTimeout = Protocol::PresenceTimeout;
    return link.SelectModule(g, s);
}
} // namespace

void QuietScanView::processEvents() {
    QCoreApplication::processEvents();
}

bool ProbeSlot(Link& link, ModuleTable& modules, SharedState& state, LinkHost& host, ScanView& view,
               const ScanWords& words, int g, int s) {
    state.CurSlot = s;
    const TModule* before = modules.at(s, g);
    const bool answeredBefore = before && before->TypeName != NotInstalledText;
    TModule& m = modules.renew(s, g);
    modules.diagLines(s, g).clear();
    m.ExtDiagValid = false;
    view.processEvents();
    const QString module = words.module + QStringLiteral(" #") + QString::number(s + 1);
    host.SetStatus(words.group + QStringLiteral("#") + QString::number(g + 1) +
                   QStringLiteral(" ") + module + QStringLiteral(": Scaning"));
    if (!selectOrRecover(link, g, s, answeredBefore)) {
        view.toggleLamp();
        m.TypeName = NotInstalledText;
        view.slotEmpty(g, s);
        return false;
    }
    link.ReplyTimeout = Link::ReadTimeout;
    m.SlotIndex = s;
    host.SetStatus(module + QStringLiteral(": loading information"));
    // A reply that cannot be read spoils that one answer, not the scan; the error is kept
    // with the record, since the next parse empties Messages. One that does not come is named.
    const auto read = [&m, &view](const char* what, const std::function<bool()>& command) {
        bool came = true;
        Link::tolerant(
            m, [&] { came = command(); }, &m.ReadFaults);
        if (!came)
            view.replyMissing(
                QStringLiteral("no reply to the %1 request").arg(QLatin1String(what)));
    };
    read("info block", [&] { return link.ReadInfoBlock(s, g); });
    view.toggleLamp();
    read("version", [&] { return link.ReadVersion(s, g); });
    host.SetStatus(module + QStringLiteral(":loading diagnostic"));
    read("diagnostic", [&] { return link.ReadDiagBytes(s, g); });
    read("values", [&] { return link.ReadValues(s, g); });
    link.ReplyTimeout = Protocol::PresenceTimeout;
    // Only modules with pages answer this one.
    Link::tolerant(
        m, [&] { link.ReadHtmlMarker(s, g); }, &m.ReadFaults);
    m.ExtDiagValid = false;
    view.toggleLamp();
    return true;
}

QString ScanResultText(int found) {
    if (found == 0)
        return QStringLiteral("No Active Modules found");
    if (found == 1)
        return QStringLiteral("1") + QStringLiteral(" Module found");
    return QString::number(found) + QStringLiteral(" Modules found");
}

bool AwaitRestart(Link& link, LinkHost& host, int subrack, int slot) {
    bool back = link.SelectModule(subrack, slot);
    for (int n = 0; !back && n < RestartPolls; ++n) {
        host.pause(RestartPollMs);
        back = link.SelectModule(subrack, slot);
    }
    return back;
}

namespace {
// The modules that answered in the last scan, and those expected, in scan order.
ModuleAddresses answeredBefore(const ModuleTable& modules, const ModuleAddresses& expected) {
    ModuleAddresses out;
    for (int g = 0; g < 2; ++g)
        for (int s = 0; s < kSlotsPerSubrack; ++s)
            if (const TModule* m = modules.at(s, g);
                (m && m->TypeName != NotInstalledText) || expected.contains({g, s}))
                out << ModuleAddress{g, s};
    return out;
}

// Both subracks, slot by slot, on an open port (closed at the end, however the scan ends,
// unless `end` keeps it open).
// Returns the replies that could not be read, one line per reply, with the module's address.
QStringList scanSubracks(Link& link, ModuleTable& modules, SharedState& state, LinkHost& host,
                         ScanView& view, const ScanWords& words, const ModuleAddresses& expected,
                         ScanEnd end) {
    struct Closer {
        Link& link;
        LinkHost& host;
        ScanEnd end;
        ~Closer() {
            host.progress(0, 0);
            if (end == ScanEnd::ClosePort)
                link.closePort();
        }
    } closer{link, host, end};
    if (!link.ComPort().isOpen() && !link.ComPort().open())
        throw PortError(Ports::notOpenedText(link.ComPort().errorString()));
    QStringList faults;
    const auto visit = [&](int g, int s) {
        if (!ProbeSlot(link, modules, state, host, view, words, g, s))
            return false;
        ++state.FoundCount;
        const TModule& m = *modules.at(s, g);
        view.slotFound(g, s, m);
        state.Subrack2Visible = true;
        for (const QString& fault : m.ReadFaults)
            faults << words.group + QStringLiteral("#") + QString::number(g + 1) +
                          QStringLiteral(" ") + words.module + QStringLiteral(" #") +
                          QString::number(s + 1) + QStringLiteral(": ") + fault;
        return true;
    };
    const ModuleAddresses before = answeredBefore(modules, expected);
    ModuleAddresses missing;
    // While a remote line's time-outs are a guess (nothing has answered yet), the first reply
    // may belong to a frame before: the scan starts again, with the generous time-outs.
    const auto pass = [&] {
        state.FoundCount = 0;
        faults.clear();
        missing = before;
        for (int g = 0; g < 2 && !host.stopRequested(); ++g) {
            view.showSubrackPage(g);
            for (int s = 0; s < kSlotsPerSubrack && !host.stopRequested(); ++s) {
                host.progress(g * kSlotsPerSubrack + s + 1, 2 * kSlotsPerSubrack);
                const bool guessed = link.roundTripGuessed();
                if (visit(g, s))
                    missing.removeOne(ModuleAddress{g, s});
                if (guessed && !link.roundTripGuessed())
                    return false;
            }
        }
        return true;
    };
    if (!pass()) {
        link.relearnRoundTrip();
        pass();
    }
    // A module restarting after a reset is silent for a while: not gone.
    for (int n = 0; n < RestartPolls && !missing.isEmpty() && !host.stopRequested(); ++n) {
        host.SetStatus(QStringLiteral("Waiting for %1 to answer").arg(addressNames(missing)));
        host.pause(RestartPollMs);
        missing.removeIf([&](const ModuleAddress& a) { return visit(a.subrack, a.slot); });
    }
    return faults;
}
} // namespace

void ScanHeadend(Link& link, ModuleTable& modules, SharedState& state, LinkHost& host,
                 ScanView& view, const ScanWords& words, const ModuleAddresses& expected,
                 ScanEnd end) {
    state.FoundCount = 0;
    state.Subrack2Visible = false;
    const QStringList faults = scanSubracks(link, modules, state, host, view, words, expected, end);
    host.SetStatus(ScanResultText(state.FoundCount));
    if (state.FoundCount == 0 && link.roundTripGuessed())
        host.showMessage(QStringLiteral("Nothing answers on %1: not one frame had a reply.")
                             .arg(link.ComPort().portName()),
                         true);
    // A module whose replies could not be read is not a healthy one: the user hears of it.
    if (!faults.isEmpty())
        host.showMessage(faults.join(QLatin1Char('\n')), true);
}
