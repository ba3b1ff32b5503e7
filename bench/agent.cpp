// Agent benchmark: orvex-cli's commands through the site agent against the same commands on
// the local line. Two identical demo head-ends on the simulator at the true line rate; the
// built orvex-agent on one, reached through a real OpenSSH server on loopback (one connection
// kept open by ssh's control master, as the README recommends for repeated commands) with
// 0, 20, 40 and 160 ms added each way; orvex-cli on the other's line. Prints each command's
// time (median of three) and the goal: 1.1 x the local time + 2 round trips. Then the same for
// the windows' work on their session (scan, save, load at the agent; a panel's write and
// commit on the line it lends; the pages window's start page, served at the agent).
//
//   build/bin/bench_agent [windows]      (windows: only the windows' work)
#include "html/ModulePages.h"
#include "link/EventWait.h"
#include "link/Link.h"
#include "link/LinkHost.h"
#include "session/HeadendSession.h"
#include "sim/SimServer.h"
#include "tests/support/Ser2net.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <functional>

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
// Seconds one run of work takes (the median of kRuns).
double timed(const std::function<void()>& work) {
    QList<double> times;
    for (int i = 0; i < kRuns; ++i) {
        QElapsedTimer clock;
        clock.start();
        work();
        times << double(clock.elapsed()) / 1000.0;
    }
    std::sort(times.begin(), times.end());
    return times[kRuns / 2];
}

// The windows' work, on the session they drive: the scan, a save and a load (run at the agent
// behind an ssh:// port) and one panel change, a write and its commit on the line the agent
// lends (its connection made first).
QList<double> windowsWork(const QString& port, const QString& folder) {
    QuietHost host;
    HeadendSession session(host);
    session.link().ComPort().setPortName(port);
    QuietScanView view;
    const QString file = QDir(folder).filePath("w.mmh");
    QList<double> times{timed([&] { session.scan(view); }),
                        timed([&] { session.saveConfig(file); }),
                        timed([&] { session.load(file, false); })};
    session.link().OpenLink(port);
    session.link().SelectModule(0, 0);
    times << timed([&] {
        session.link().WriteValue(6, 1);
        session.link().CommitEEPROM(0, 0);
    });
    // The pages window of 2/1 (selected first, as the windows do): the module's window asked
    // for, the server started, the start page fetched.
    session.link().SelectModule(1, 0);
    session.link().closePort();
    times << timed([&] {
        ModulePages pages;
        QString error;
        if (!pages.OpenRawPort(port, Link::selectFrame(1, 0)) ||
            pages.exchangeWindowSize().isEmpty() || !pages.startServer(&error, 0))
            std::printf("  pages failed: %s %s\n", qPrintable(pages.errorString()),
                        qPrintable(error));
        QNetworkAccessManager net;
        std::unique_ptr<QNetworkReply> page(net.get(QNetworkRequest(QUrl(pages.startAddress()))));
        EventWait::until([&] { return page->isFinished(); });
    });
    return times;
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
    for (const QStringList& command : argc > 1 ? QList<QStringList>{} : kCommands) {
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
    const QStringList work{"windows: scan", "windows: save-config", "windows: load-config",
                           "windows: panel write+commit", "windows: pages, start page"};
    QList<QList<double>> there;
    for (const int ms : delays) {
        DelayProxy proxy(sshd.port(), 2 * ms);
        there << windowsWork(QString("ssh://127.0.0.1:%1/site").arg(proxy.port()), dir.path());
    }
    const QList<double> here = windowsWork(local->slavePath(), dir.path());
    for (int i = 0; i < work.size(); ++i) {
        std::printf("%-28s %8.2f", qPrintable(work[i]), here[i]);
        for (int d = 0; d < delays.size(); ++d)
            std::printf("   %6.2f %5.2f", there[d][i], 1.1 * here[i] + 4 * delays[d] / 1000.0);
        std::printf("\n");
    }
    agent.terminate();
    agent.waitForFinished();
    return 0;
}
