// Line time of the live values: a panel's measured values read again in the background, on
// the demo head-end against the simulator paced at the true line rate (115200 baud 8E2: 9600
// bytes a second) with a stated module turnaround. Prints the line time of one read (select
// and values) and its share of the line's time at each interval the program offers.
//
//   build/bin/bench_live [turnaround-ms ...]
#include "link/LinkHost.h"
#include "session/HeadendSession.h"
#include "tests/support/LinkFixture.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QSettings>
#include <QTemporaryDir>
#include <cstdio>

namespace {
constexpr int kReads = 40;
constexpr int kIntervals[] = {2, 5, 10, 30}; // s, as "Settings" → "Live values" offers them

void run(int turnaround, int subrack, int slot) {
    SimServerOptions options;
    options.latencyMs = turnaround;
    options.pace = 1;
    const auto sim = startDemo(options);
    sim->headend().setWander(true);
    QSettings(PortSettingsFile, QSettings::IniFormat).setValue("ComPort/Port", sim->slavePath());
    QuietHost host;
    HeadendSession session(host);
    Link& link = session.link();
    if (!link.OpenLink() || !link.SelectModule(subrack, slot) ||
        !link.ReadInfoBlock(slot, subrack) || !link.ReadValues(slot, subrack)) {
        std::printf("the module %d/%d does not answer\n", subrack + 1, slot + 1);
        return;
    }
    const TModule& m = *session.modules().at(slot, subrack);
    sim->headend().clearLog();
    int changed = 0;
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < kReads; ++i)
        changed += int(session.refreshMeasured({subrack, slot}).size());
    const double read = double(clock.nsecsElapsed()) / 1e6 / kReads;
    const double bytes =
        double(sim->headend().received().size() + sim->headend().sent().size()) / kReads;
    std::printf("turnaround %3d ms, module %d/%d (%s): one read %5.1f ms on the line (%.0f bytes, "
                "%d measured values changed in %d reads);",
                turnaround, subrack + 1, slot + 1, qPrintable(m.TypeName), read, bytes, changed,
                kReads);
    for (const int s : kIntervals)
        std::printf(" every %d s: %.2f %%", s, read / (s * 1000.0) * 100);
    std::printf(" of the line's time (goal: a few %%)\n");
}
} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir; // the settings file of the port
    QDir::setCurrent(dir.path());
    std::printf("live values of an open panel, demo head-end, line 9600 B/s\n");
    QList<int> turnarounds;
    for (int i = 1; i < argc; ++i)
        turnarounds << std::atoi(argv[i]);
    if (turnarounds.isEmpty())
        turnarounds = {2, 20};
    for (const int t : turnarounds) {
        run(t, 0, 1); // the satellite receiver: C/N and input level
        run(t, 0, 5); // the amplifier: output level and temperature
    }
    return 0;
}
