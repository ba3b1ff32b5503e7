// Agent benchmark: orvex-cli's commands through the site agent against the same commands on
// the local line. Two identical demo head-ends on the simulator at the true line rate; the
// built orvex-agent on one, reached through a real OpenSSH server on loopback (one connection
// kept open by ssh's control master, as the README recommends for repeated commands) with
// 0, 20, 40 and 160 ms added each way; orvex-cli on the other's line. Prints each command's
// time (median of three) and the goal: 1.1 x the local time + 2 round trips.
//
//   build/bin/bench_agent
#include "sim/SimServer.h"
#include "tests/support/Ser2net.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cstdio>

namespace {
constexpr int kRuns = 3;
const QList<QStringList> kCommands{{"scan"},
                                   {"show", "1/1"},
                                   {"set", "1/1", "5", "26"},
                                   {"save-config", "c.mmh"},
                                   {"--verify", "load-config", "c.mmh"},
                                   {"diff", "c.mmh"}};

std::unique_ptr<SimServer> headend() {
    SimProfile profile = demoProfile();
    profile.pace = true;
    QString error;
    auto sim = SimServer::startPty(profile, &error);
    if (!sim)
        qFatal("simulator: %s", qPrintable(error));
    sim->headend().setResetMs(100);
    return sim;
}

// Seconds one run of orvex-cli takes (the median of kRuns), in folder.
double seconds(const QString& port, const QStringList& args, const QString& folder) {
    QList<double> times;
    for (int i = 0; i < kRuns; ++i) {
        QProcess cli;
        cli.setWorkingDirectory(folder);
        QElapsedTimer clock;
        clock.start();
        cli.start(QCoreApplication::applicationDirPath() + "/orvex-cli",
                  QStringList{"--port", port} + args);
        cli.waitForFinished(600000);
        times << double(clock.elapsed()) / 1000.0;
        if (cli.exitStatus() != QProcess::NormalExit || cli.exitCode() > 1)
            std::printf("  %s failed: %s\n", qPrintable(args.join(' ')),
                        cli.readAllStandardError().constData());
    }
    std::sort(times.begin(), times.end());
    return times[kRuns / 2];
}
} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const auto local = headend(), remote = headend();
    QProcess agent;
    agent.start(QCoreApplication::applicationDirPath() + "/orvex-agent",
                {"--port", remote->slavePath(), "--socket", dir.filePath("site.sock"), "--interval",
                 "3600", "--listen", "127.0.0.1:0"});
    QByteArray log;
    for (const QDeadlineTimer limit(60000); !log.contains("scan: ") && !limit.hasExpired();)
        agent.waitForReadyRead(100), log += agent.readAllStandardError();
    Sshd sshd;
    QString error;
    if (!Sshd::available() || !sshd.start({"ORVEX_AGENT_DIR=" + dir.path()}, &error))
        qFatal("sshd: %s", qPrintable(error));
    qputenv("ORVEX_SSH_COMMAND",
            (sshd.command() +
             " -o ControlMaster=auto -o ControlPersist=60 -o ControlPath=" + dir.filePath("ssh-%C"))
                .toUtf8());
    const QList<int> delays{0, 20, 40, 160};
    std::printf("%-28s %8s", "command (s)", "local");
    for (const int ms : delays)
        std::printf("   +%3d ms  goal", ms);
    std::printf("\n");
    for (const QStringList& command : kCommands) {
        const double here = seconds(local->slavePath(), command, dir.path());
        std::printf("%-28s %8.2f", qPrintable(command.join(' ')), here);
        for (const int ms : delays) {
            DelayProxy proxy(sshd.port(), 2 * ms);
            const QString port = QString("ssh://127.0.0.1:%1/site").arg(proxy.port());
            seconds(port, {"--json", "show", "1/1"}, dir.path()); // the connection made first
            const double there = seconds(port, command, dir.path());
            std::printf("   %6.2f %5.2f", there, 1.1 * here + 4 * ms / 1000.0);
        }
        std::printf("\n");
        std::fflush(stdout);
    }
    agent.terminate();
    agent.waitForFinished();
    return 0;
}
