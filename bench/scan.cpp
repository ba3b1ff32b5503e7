// Scan benchmark: the scan of the work loop against the simulator keeping the true line rate
// (115200 baud 8E2: 9600 bytes a second) in both directions, with a stated module
// turnaround. Prints the scan time, the floor the line allows (bytes exchanged / 9600 B/s +
// one turnaround per answered frame + 2 x 80 ms for each empty slot) and their ratio, each the
// median of five scans, and the longest stall of the event loop. The scan runs on the local
// line (the simulator's pseudo-terminal) and through a real ser2net on loopback (telnet with
// the com-port option) with 0, 20 and 40 ms added round trip; the floor stays the line's.
//
//   build/bin/bench_scan [turnaround-ms]
#include "link/HeadendScan.h"
#include "link/Link.h"
#include "session/HeadendSession.h"
#include "sim/SimServer.h"
#include "tests/support/RecordingHost.h"
#include "tests/support/Ser2net.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>

namespace {
constexpr int kRuns = 5;

struct Figure {
    double ratio = 0;
    double measured = 0;
    double floor = 0;
    qint64 stall = 0;
    bool right = false;
};

SimProfile profileWith(int present) {
    const SimProfile demo = demoProfile();
    SimProfile p = demo;
    p.modules.clear();
    p.pace = true;
    for (int i = 0; i < present; ++i) {
        SimSlotDef d = demo.modules[i % demo.modules.size()];
        d.subrack = i / 16;
        d.slot = i % 16;
        p.modules << d;
    }
    return p;
}

Figure scanOnce(SimServer& sim, const QString& port, int present, int turnaround) {
    RecordingHost host;
    HeadendSession session(host);
    Link& link = session.link();
    Figure f;
    if (!link.OpenLink(port)) {
        std::printf("  %s\n", qPrintable(link.ComPort().errorString()));
        return f;
    }
    QuietScanView view;
    QElapsedTimer tick;
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout,
                     [&] { f.stall = std::max(f.stall, tick.restart()); });
    sim.headend().clearLog();
    QElapsedTimer clock;
    clock.start();
    tick.start();
    probe.start(5);
    const int found = session.scan(view);
    f.measured = clock.nsecsElapsed() / 1e6;
    const QByteArray in = sim.headend().received();
    const QByteArray out = sim.headend().sent();
    const int empty = 32 - present;
    const int answered = int(in.count('!')) - 2 * empty;
    f.floor = (in.size() + out.size()) * 1000.0 / 9600.0 + answered * turnaround + empty * 2 * 80.0;
    f.ratio = f.measured / f.floor;
    f.right = found == present;
    return f;
}

// The median of five scans (by ratio).
Figure median(SimServer& sim, const QString& port, int present, int turnaround) {
    std::vector<Figure> runs;
    for (int i = 0; i < kRuns; ++i)
        runs.push_back(scanOnce(sim, port, present, turnaround));
    std::sort(runs.begin(), runs.end(),
              [](const Figure& a, const Figure& b) { return a.ratio < b.ratio; });
    Figure m = runs[kRuns / 2];
    m.right = std::all_of(runs.begin(), runs.end(), [](const Figure& f) { return f.right; });
    return m;
}

void print(const char* head, const QString& mode, const Figure& f) {
    std::printf("%-16s %-22s scan %7.0f ms, floor %7.0f ms, ratio %.3f, worst event-loop stall "
                "%lld ms%s\n",
                head, qPrintable(mode), f.measured, f.floor, f.ratio, f.stall,
                f.right ? "" : " (WRONG COUNT)");
}

void run(const char* head, int present, int turnaround) {
    QString error;
    SimServerOptions options;
    options.latencyMs = turnaround;
    options.pace = 1;
    auto sim = SimServer::startPty(profileWith(present), &error, options);
    if (!sim) {
        std::printf("%s: simulator: %s\n", head, qPrintable(error));
        return;
    }
    const Figure local = median(*sim, sim->slavePath(), present, turnaround);
    print(head, QStringLiteral("local"), local);
    Ser2net server;
    if (!Ser2net::available() || !server.start(sim->slavePath(), &error)) {
        std::printf("%s: no ser2net: %s\n", head, qPrintable(error));
        return;
    }
    for (const int roundTrip : {0, 20, 40}) {
        // Straight to ser2net, or through a proxy that adds the round trip.
        std::unique_ptr<DelayProxy> proxy;
        if (roundTrip > 0)
            proxy = std::make_unique<DelayProxy>(server.telnetPort(), roundTrip);
        const quint16 port = proxy ? proxy->port() : server.telnetPort();
        const Figure f =
            median(*sim, QStringLiteral("rfc2217://127.0.0.1:%1").arg(port), present, turnaround);
        print(head, QStringLiteral("ser2net +%1 ms").arg(roundTrip), f);
        if (roundTrip == 0)
            std::printf("%-16s %-22s remote/local %.3f\n", head, "", f.ratio / local.ratio);
    }
}
} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int turnaround = argc > 1 ? std::atoi(argv[1]) : 2;
    QTemporaryDir dir; // the settings files of the runs
    QDir::setCurrent(dir.path());
    std::printf("line 9600 B/s both ways, module turnaround %d ms, median of %d scans\n",
                turnaround, kRuns);
    run("full head-end", 32, turnaround);
    run("sparse head-end", 4, turnaround);
    return 0;
}
