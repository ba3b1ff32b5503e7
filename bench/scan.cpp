// Scan benchmark: the scan of the work loop against the simulator paced at the true line
// rate (115200 baud 8E2: 9600 bytes a second) with a stated module turnaround. Prints the
// measured scan time, the floor the line allows (bytes exchanged / 9600 B/s + one turnaround
// per answered frame + 2 x 80 ms for each empty slot) and their ratio, and the longest stall
// of the event loop during the scan.
//
//   build/bin/bench_scan [turnaround-ms]
#include "link/HeadendScan.h"
#include "link/Link.h"
#include "link/SharedState.h"
#include "module/ModuleTable.h"
#include "sim/SimServer.h"
#include "tests/support/RecordingHost.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

namespace {

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

void run(const char* name, int present, int turnaround) {
    QString error;
    SimServerOptions options;
    options.latencyMs = turnaround;
    options.pace = 1;
    auto sim = SimServer::startPty(profileWith(present), &error, options);
    if (!sim) {
        std::printf("%s: simulator: %s\n", name, qPrintable(error));
        return;
    }
    QTemporaryDir dir;
    QSettings(dir.filePath("OXLCom.ini"), QSettings::IniFormat)
        .setValue("ComPort/Port", sim->slavePath());
    const QString old = QDir::currentPath();
    QDir::setCurrent(dir.path());
    ModuleTable modules;
    SharedState state;
    RecordingHost host;
    Link link(modules, state, host);
    link.OpenLink();
    QuietScanView view;
    QElapsedTimer tick;
    qint64 worstStall = 0;
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout,
                     [&] { worstStall = std::max(worstStall, tick.restart()); });
    sim->headend().clearLog();
    QElapsedTimer clock;
    clock.start();
    tick.start();
    probe.start(5);
    ScanHeadend(link, modules, state, host, view);
    const double measured = clock.nsecsElapsed() / 1e6;
    probe.stop();
    const QByteArray in = sim->headend().received();
    const QByteArray out = sim->headend().sent();
    const int empty = 32 - present;
    const int answered = int(in.count('!')) - 2 * empty;
    const double floor =
        (in.size() + out.size()) * 1000.0 / 9600.0 + answered * turnaround + empty * 2 * 80.0;
    std::printf("%-22s %2d present: scan %8.0f ms, floor %8.0f ms, ratio %.3f, "
                "worst event-loop stall %lld ms (%s)\n",
                name, present, measured, floor, measured / floor, worstStall,
                qPrintable(state.FoundCount == present ? ScanResultText(state.FoundCount)
                                                       : QStringLiteral("WRONG COUNT")));
    QDir::setCurrent(old);
}
} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int turnaround = argc > 1 ? std::atoi(argv[1]) : 2;
    std::printf("line 9600 B/s, module turnaround %d ms\n", turnaround);
    run("full head-end", 32, turnaround);
    run("sparse head-end", 4, turnaround);
    return 0;
}
