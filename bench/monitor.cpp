// Polling cost of the monitor: one poll cycle over the demo head-end against the simulator
// paced at the true line rate (115200 baud 8E2: 9600 bytes a second) with a stated module
// turnaround. Prints the line time of a cycle and of a scan, the floor the line allows (bytes
// / 9600 B/s + one turnaround per answered frame) and the share of the line's time the
// monitor takes at the default interval (30 s) and rescan period (15 min).
//
//   build/bin/bench_monitor [turnaround-ms ...]
#include "agent/HeadendMonitor.h"
#include "sim/SimServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdio>

namespace {
constexpr double kInterval = 30;    // s, the default
constexpr double kRescan = 15 * 60; // s, the default

struct Traffic {
    qsizetype out = 0;
    qsizetype in = 0;
    qsizetype frames = 0;
};

Traffic trafficOf(SimHeadend& headend) {
    const QByteArray out = headend.received();
    return {out.size(), headend.sent().size(), out.count('!')};
}

void run(int turnaround) {
    QString error;
    SimServerOptions options;
    options.latencyMs = turnaround;
    options.pace = 1;
    auto sim = SimServer::startPty(demoProfile(), &error, options);
    if (!sim) {
        std::printf("simulator: %s\n", qPrintable(error));
        return;
    }
    HeadendMonitor monitor({sim->slavePath(), kInterval, kRescan / 60, 0});
    if (!monitor.openLine())
        return;
    sim->headend().clearLog();
    monitor.scan();
    const double scan = monitor.status().scanDuration;
    sim->headend().clearLog();
    QElapsedTimer clock;
    clock.start();
    monitor.pollCycle();
    const double cycle = double(clock.nsecsElapsed()) / 1e9;
    const Traffic t = trafficOf(sim->headend());
    const double floor = double(t.out + t.in) / 9600.0 + double(t.frames) * turnaround / 1000.0;
    const double polls = kRescan / kInterval;
    const double share = ((polls - 1) * cycle + scan) / kRescan * 100;
    std::printf("turnaround %3d ms: poll cycle %6.1f ms (floor %6.1f ms: %lld frames, %lld bytes "
                "out, %lld in) = %.2f %% of a %g s interval; scan %6.0f ms; line share with "
                "rescans every %g min: %.2f %% (goal < 2 %%)\n",
                turnaround, cycle * 1000, floor * 1000, qlonglong(t.frames), qlonglong(t.out),
                qlonglong(t.in), cycle / kInterval * 100, kInterval, scan * 1000, kRescan / 60,
                share);
}
} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::printf("demo head-end (12 modules), line 9600 B/s\n");
    if (argc < 2) {
        run(2);
        run(20);
    }
    for (int i = 1; i < argc; ++i)
        run(std::atoi(argv[i]));
    return 0;
}
