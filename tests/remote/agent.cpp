// orvex-cli through the site agent: the built orvex-agent on one simulated head-end, reached by
// its socket and through a real OpenSSH server (with a delaying forwarder in front), against
// the same commands on the line of a second, identical head-end. Every command must say,
// write and send to the modules exactly what it does on the line itself.
#include "tests/support/EventLoop.h"
#include "tests/support/Expect.h"
#include "tests/support/LinkFixture.h"
#include "tests/support/Ser2net.h"
#include "tests/support/TestMain.h"

#include <QDirIterator>
#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

namespace {
// What differs between two runs a second apart: dates in file names and file headers.
QByteArray undated(QByteArray text) {
    static const QRegularExpression date(
        "\\d{8}-\\d{6}|\\d\\d\\.\\d\\d\\.\\d{4} \\d\\d:\\d\\d:\\d\\d");
    return QString::fromUtf8(text).replace(date, "DATE").toUtf8();
}

struct Outcome {
    int status = -1;
    QByteArray out, err, frames;
    QMap<QString, QByteArray> files; // the working folder after the command
};
} // namespace

class AgentTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    std::unique_ptr<SimServer> local, remote;
    QProcess agent;
    QByteArray agentLog;
    Sshd sshd;

    int scansLogged() {
        agentLog += agent.readAllStandardError();
        return int(agentLog.count("scan: "));
    }
    Outcome cli(SimServer& sim, const QString& port, const QStringList& args,
                const QString& folder) {
        QDir().mkpath(folder);
        sim.headend().clearLog();
        QProcess p;
        p.setWorkingDirectory(folder);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("ORVEX_SSH_COMMAND", sshd.command());
        p.setProcessEnvironment(env);
        p.start(QCoreApplication::applicationDirPath() + "/orvex-cli",
                QStringList{"--port", port} + args);
        p.closeWriteChannel();
        if (!p.waitForFinished(180000))
            p.kill(), p.waitForFinished();
        Outcome o{p.exitCode(),
                  undated(p.readAllStandardOutput()),
                  undated(p.readAllStandardError()),
                  sim.headend().received(),
                  {}};
        for (QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
            QFile f(it.next());
            f.open(QIODevice::ReadOnly);
            o.files.insert(undated(it.filePath().mid(folder.size()).toUtf8()),
                           undated(f.readAll()));
        }
        return o;
    }

private Q_SLOTS:
    void initTestCase() {
        if (!Sshd::available())
            QSKIP("no OpenSSH server here (scripts/setup.sh installs openssh-server)");
        local = startDemo({-1, 0, {}}, smallDemoProfile());
        remote = startDemo({-1, 0, {}}, smallDemoProfile());
        agent.start(QCoreApplication::applicationDirPath() + "/orvex-agent",
                    {"--port", remote->slavePath(), "--socket", dir.filePath("site.sock"),
                     "--interval", "3600", "--listen", "127.0.0.1:0"});
        // Its first scan done, the agent waits for its clients.
        QVERIFY(runUntil([&] { return scansLogged() == 1; }, 60000));
        QString error;
        QVERIFY2(sshd.start({"ORVEX_AGENT_DIR=" + dir.path()}, &error), qPrintable(error));
    }
    void cleanupTestCase() {
        agent.terminate();
        agent.waitForFinished();
    }

    // In order, on both head-ends: each command through one way to the agent.
    void sameAsOnTheLine_data() {
        QTest::addColumn<QString>("way"); // agent, ssh, or ssh through a forwarder
        QTest::addColumn<int>("eachWay"); // ms the forwarder holds every byte back
        QTest::addColumn<QStringList>("args");
        const auto row = [](const char* way, int ms, const QStringList& args) {
            QTest::addRow("%s %s, %d ms", qPrintable(args.join(' ')), way, ms) << way << ms << args;
        };
        row("agent", 0, {"scan"});
        row("ssh", 0, {"show", "1/1"});
        row("ssh", 160, {"set", "1/1", "0", "--shown", "4"});
        row("agent", 0, {"save-config", "sub/c.mmh"});
        row("ssh", 40, {"--verify", "load-config", "sub/c.mmh"});
        row("ssh", 40, {"--json", "diff", "sub/c.mmh"});
        row("agent", 0, {"backup", "backups"});
        row("agent", 0, {"load-module", "1/1", "none.mst"});
    }
    void sameAsOnTheLine() {
        QFETCH(QString, way);
        QFETCH(int, eachWay);
        QFETCH(QStringList, args);
        DelayProxy proxy(sshd.port(), 2 * eachWay);
        const QString port = way == "agent" ? "agent:" + dir.filePath("site.sock")
                                            : QString("ssh://127.0.0.1:%1/site").arg(proxy.port());
        const Outcome there = cli(*local, local->slavePath(), args, dir.filePath("local"));
        const Outcome here = cli(*remote, port, args, dir.filePath("remote"));
        QCOMPARE(here.err, there.err);
        QCOMPARE(here.out, there.out);
        QCOMPARE(here.status, there.status);
        QCOMPARE(here.files, there.files);
        // The agent ended a console when it opened its line, as the command does here.
        EXPECT_BYTES(
            here.frames,
            QByteArray(there.frames).replace(0, 2 * there.frames.startsWith("\x03\r"), ""));
    }
};

ORVEX_TEST(AgentTest)
#include "agent.moc"
