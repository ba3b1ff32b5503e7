// orvex-cli through the site agent: the built orvex-agent on one simulated head-end, reached by
// its socket and through a real OpenSSH server (with a delaying forwarder in front), against
// the same commands on the line of a second, identical head-end. Every command must say,
// write and send to the modules exactly what it does on the line itself.
#include "agent/LineHistory.h"
#include "app/FileDialogs.h"
#include "link/JsonRpc.h"
#include "module/ModuleJson.h"
#include "tests/support/AppFixture.h"
#include "tests/support/EventLoop.h"
#include "tests/support/Expect.h"
#include "tests/support/Files.h"
#include "tests/support/LineChecks.h"
#include "tests/support/LinkFixture.h"
#include "tests/support/RecordingHost.h"
#include "tests/support/Ser2net.h"
#include "tests/support/TestMain.h"

#include <QDirIterator>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <QProcess>
#include <QRegularExpression>
#include <QtTest>
#include <pwd.h>
#include <unistd.h>

namespace {
// The line monitor's rows, a select sent again at once (with its ACK) counted once, as
// withoutSelectRetries() counts the bytes.
QList<QByteArray> withoutSelectRetries(const QList<QByteArray>& rows) {
    static const QRegularExpression select("^> 21 C[0-9A-F] [0-9A-F]{2} \\|");
    QList<QByteArray> out;
    QByteArray last; // the last select kept, while only its ACK followed it
    for (const QByteArray& row : rows) {
        if (select.match(QString(row)).hasMatch() && row == last) {
            if (out.last().startsWith("< 06 "))
                out.removeLast(); // this one's ACK follows, if it came
            continue;
        }
        if (!row.startsWith("< 06 ") || last.isEmpty() || out.last() != last)
            last = select.match(QString(row)).hasMatch() ? row : QByteArray();
        out << row;
    }
    return out;
}

// What differs between two runs a second apart: dates in file names and file headers.
QByteArray undated(QByteArray text) {
    static const QRegularExpression date(
        "\\d{8}-\\d{6}|\\d\\d\\.\\d\\d\\.\\d{4} \\d\\d:\\d\\d:\\d\\d");
    return QString::fromUtf8(text).replace(date, "DATE").toUtf8();
}
} // namespace

// The built agent on a head-end, its socket in a folder of its own, until destroyed.
struct SiteAgent {
    explicit SiteAgent(SimServer& sim) {
        QFile::setPermissions(dir.path(), QFileDevice::Permissions(0x7755)); // for a stranger
        process.start(QCoreApplication::applicationDirPath() + "/orvex-agent",
                      {"--port", sim.slavePath(), "--socket", socket(), "--interval", "3600",
                       "--listen", "127.0.0.1:0"});
    }
    ~SiteAgent() {
        process.terminate();
        process.waitForFinished();
    }
    QString socket() const { return dir.filePath("site.sock"); }
    // How often the log has said this so far.
    int logged(const QByteArray& text) {
        log += process.readAllStandardError();
        return int(log.count(text));
    }
    QTemporaryDir dir;
    QProcess process;
    QByteArray log;
};

struct Outcome {
    int status = -1;
    QByteArray out, err, frames;
    QMap<QString, QByteArray> files; // the working folder after the command
};

class AgentTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    std::unique_ptr<SimServer> local, remote;
    std::unique_ptr<SiteAgent> agent;
    Sshd sshd;
    Outcome cli(SimServer& sim, const QString& port, const QStringList& args,
                const QString& folder) {
        QDir().mkpath(folder);
        sim.headend().clearLog();
        QProcess p;
        p.setWorkingDirectory(folder);
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
        agent = std::make_unique<SiteAgent>(*remote);
        // Its first scan done, the agent waits for its clients.
        QVERIFY(runUntil([&] { return agent->logged("scan: ") == 1; }, 60000));
        QString error;
        QVERIFY2(sshd.start({"ORVEX_AGENT_DIR=" + agent->dir.path()}, &error), qPrintable(error));
        qputenv("ORVEX_SSH_COMMAND", sshd.command().toUtf8());
    }
    void cleanupTestCase() { agent.reset(); }

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
        const QString port = way == "agent" ? "agent:" + agent->socket()
                                            : QString("ssh://127.0.0.1:%1/site").arg(proxy.port());
        const Outcome there = cli(*local, local->slavePath(), args, dir.filePath("local"));
        const Outcome here = cli(*remote, port, args, dir.filePath("remote"));
        QCOMPARE(here.err, there.err);
        QCOMPARE(here.out, there.out);
        QCOMPARE(here.status, there.status);
        QCOMPARE(here.files, there.files);
        // The agent ended a console when it opened its line, as the command does here.
        EXPECT_BYTES(
            withoutSelectRetries(here.frames),
            withoutSelectRetries(
                QByteArray(there.frames).replace(0, 2 * there.frames.startsWith("\x03\r"), "")));
    }

    // The windows behind the agent (through ssh at 40 ms each way), where the scan, the save
    // and the load run at the agent: the records, the files, the log's texts and messages and
    // the frames of the line monitor are those of the same work on the line itself, and the
    // head-end heard that work last.
    void windows() {
        struct Seen {
            QStringList records, texts;
            QByteArray frames, line, file;
        };
        DelayProxy proxy(sshd.port(), 80);
        const auto worked = [this](SimServer& sim, const QString& port) {
            AppFixture app(port);
            TMainFrm& m = app.start();
            Seen seen;
            QObject::connect(&m.lineObserver, &LineObserver::frame, [&](const LineFrame& f) {
                if (f.dir != ' ' && f.dir != '#')
                    seen.frames += LineObserver::formatLine(f).mid(13) + '\n';
            });
            const int logged = int(m.messageLog.entries().size());
            sim.headend().clearLog();
            app.scan();
            const QString file = dir.filePath("w.mmh");
            QFile::remove(file);
            FileDialogs::setAnswer(file);
            m.itmSaveConfig->trigger();
            FileDialogs::setAnswer(file);
            m.itmLoadConfig->trigger();
            app.scanned(); // the one after the load, which checks it
            for (int g = 0; g < 2; ++g)
                for (int s = 0; s < 16; ++s)
                    seen.records << QJsonDocument(ModuleJson::write(*m.Modules().at(s, g)))
                                        .toJson(QJsonDocument::Compact);
            for (const MessageLog::Entry& e : m.messageLog.entries().mid(logged))
                seen.texts << e.text;
            seen.texts << m.shownMessages;
            seen.line = sim.headend().received();
            seen.file = undated(fileBytes(file));
            return seen;
        };
        const Seen there = worked(*local, local->slavePath());
        const Seen here = worked(*remote, QString("ssh://127.0.0.1:%1/site").arg(proxy.port()));
        QCOMPARE(here.records, there.records);
        QCOMPARE(here.texts, there.texts);
        QCOMPARE(here.file, there.file);
        const QList<QByteArray> ours = withoutSelectRetries(here.frames.split('\n')),
                                theirs = withoutSelectRetries(there.frames.split('\n'));
        for (qsizetype i = 0; i < std::max(ours.size(), theirs.size()); ++i)
            QVERIFY2(ours.value(i) == theirs.value(i),
                     qPrintable(QString("frame %1 of %2/%3:\n%4\non the line itself:\n%5")
                                    .arg(i)
                                    .arg(ours.size())
                                    .arg(theirs.size())
                                    .arg(ours.mid(std::max<qsizetype>(0, i - 3), 7).join('\n'),
                                         theirs.mid(std::max<qsizetype>(0, i - 3), 7).join('\n'))));
        EXPECT_ENDS(withoutSelectRetries(here.line), withoutSelectRetries(there.line));
    }

    // Live values and the console on the line the agent lends, through ssh at 160 ms each way:
    // the measured values come back changed as on the line itself, with the same frames at the
    // head-end; the console answers its command.
    void slowLentLine() {
        DelayProxy proxy(sshd.port(), 320);
        const auto refreshed = [](SimServer& sim, const QString& port) {
            LinkFixture f;
            f.link->ComPort().setPortName(port);
            QuietScanView view;
            f.session->scan(view);
            sim.headend().clearLog();
            sim.headend().setMeasured(0, 0, 5, 900); // the LA-862's temperature
            const QList<int> changed = f.session->refreshMeasured({0, 0});
            if (port.startsWith("ssh:"))
                LineChecks::console(f, sim, 1);
            return std::pair{changed, sim.headend().received()};
        };
        const auto there = refreshed(*local, local->slavePath());
        const auto here = refreshed(*remote, QString("ssh://127.0.0.1:%1/site").arg(proxy.port()));
        QCOMPARE(there.first, QList<int>{5});
        QCOMPARE(here.first, there.first);
        EXPECT_HAS(here.second, there.second);
    }

    // What is not a request is answered with an error, a line too long for any request too,
    // and the agent goes on. Its socket is for its group only: a stranger cannot reach it.
    // The console for a client that cannot work the line itself (a web page): the module's
    // prompt and the answer to typed keys come as notifications; closed at the module.
    // A client that watches the line (monitor.v1) sees the frames of every client: those of a
    // command with its own trace, as that trace has them, and after it (the trace gave the
    // agent's tap back) those of the console on the lent line, named and addressed.
    void consoleCall() {
        QLocalSocket watcher;
        watcher.connectToServer(agent->socket());
        QVERIFY(watcher.waitForConnected());
        watcher.write(R"({"jsonrpc":"2.0","id":1,"method":"monitor.v1","params":{}})"
                      "\n");
        QJsonArray kept;
        QList<QJsonObject> told;
        const auto watched = [&](const std::function<bool()>& done) {
            return runUntil(
                [&] {
                    while (watcher.canReadLine()) {
                        const QJsonObject m = QJsonDocument::fromJson(watcher.readLine()).object();
                        if (m["id"] == 1)
                            kept = m["result"]["frames"].toArray();
                        else if (m["method"] == "monitor.frame.v1")
                            told << m["params"].toObject();
                    }
                    return done();
                },
                30000);
        };
        QVERIFY(watched([&] { return !kept.isEmpty(); })); // the agent's first scan
        const Outcome traced =
            cli(*remote, "agent:" + agent->socket(), {"--trace", "show.trace", "show", "1/3"},
                dir.filePath("traced"));
        QCOMPARE(traced.status, 1); // 1/3 is faulty
        // Each trace has its own clock: the same frame may differ by a millisecond.
        QStringList lines = QString(traced.files.value("/show.trace")).trimmed().split('\n');
        QStringList traces;
        for (QString& line : lines)
            line = line.mid(12);
        QVERIFY(watched([&] {
            for (const QJsonObject& f : std::as_const(told).mid(traces.size()))
                traces << f["trace"].toString().mid(12);
            return traces.contains(lines.last());
        }));
        for (const QString& line : std::as_const(lines))
            QVERIFY2(traces.contains(line), qPrintable(line));
        told.clear();
        QLocalSocket client;
        client.connectToServer(agent->socket());
        QVERIFY(client.waitForConnected());
        QByteArray shown;
        QList<QJsonObject> said;
        const auto until = [&](const std::function<bool()>& done) {
            return runUntil(
                [&] {
                    while (client.canReadLine()) {
                        const QJsonObject m = QJsonDocument::fromJson(client.readLine()).object();
                        if (m["method"] == "console.text.v1")
                            shown +=
                                QByteArray::fromBase64(m["params"]["data"].toString().toLatin1());
                        else
                            said << m;
                    }
                    return done();
                },
                30000);
        };
        const auto send = [&](const QString& method, const QJsonObject& params, int id = 0) {
            QJsonObject m{{"jsonrpc", "2.0"}, {"method", method}, {"params", params}};
            if (id)
                m["id"] = id;
            said.clear();
            client.write(QJsonDocument(m).toJson(QJsonDocument::Compact) + '\n');
        };
        send("console.v1", {{"module", "1/1"}}, 1);
        QVERIFY(until([&] { return !said.isEmpty(); }));
        QCOMPARE(std::as_const(said)[0]["error"]["message"].toString(),
                 "Module 1/1 (LA-862) has no console.");
        send("console.v1", {{"module", "1/2"}}, 2);
        QVERIFY(until([&] { return !said.isEmpty(); }));
        QCOMPARE(std::as_const(said)[0]["result"]["type"].toString(), "NC-100");
        QVERIFY(until([&] { return shown.contains("nc100> "); }));
        send("console.keys.v1", {{"data", "status\r"}});
        QVERIFY2(until([&] { return shown.contains("NTP last sync"); }), shown);
        send("console.close.v1", {});
        QVERIFY(until([&] {
            return !said.isEmpty() && std::as_const(said).last()["method"] == "console.end.v1";
        }));
        QVERIFY(runUntil([&] { return !remote->headend().state(0, 1).consoleOpen; }));
        QVERIFY(watched([&] {
            return std::any_of(told.begin(), told.end(), [](const QJsonObject& f) {
                return f["kind"] == "Console" && f["module"] == "1/2" && f["dir"] == ">" &&
                       !f["meaning"].toString().isEmpty();
            });
        }));
    }

    // The agent's ring keeps the newest frames only, the decoder's notes among them; its tap
    // goes after the one before it.
    void lineHistoryBound() {
        SerialPort port;
        int before = 0;
        port.setTap([&](char, const QByteArray&) { ++before; });
        LineHistory history(port, 3);
        for (char slot = 0; slot < 5; ++slot)
            port.tap()('>', QByteArray("\x21\xC0") + char(0x80 + slot));
        const QJsonArray kept = history.recent();
        QCOMPARE(before, 5);
        QCOMPARE(kept.size(), 3);
        QCOMPARE(kept[1]["meaning"].toString(), "no answer to select 1/4");
        QCOMPARE(kept[1]["trace"].toString(), ""); // no line in a trace
        QCOMPARE(kept.last()["trace"].toString().mid(12), " > 21 C0 84 |!..|");
        QCOMPARE(history.recent(1), QJsonArray{kept.last()});
    }

    void requests() {
        QLocalSocket client;
        client.connectToServer(agent->socket());
        QVERIFY(client.waitForConnected());
        client.write("not json\n{\"jsonrpc\":\"2.0\",\"id\":7,\"method\":\"nope.v1\"}\n"
                     "{\"jsonrpc\":\"2.0\",\"id\":8,\"method\":\"set.v1\",\"params\":"
                     "{\"words\":[\"--\",\"scan\"]}}\n{\"jsonrpc\":\"2.0\",\"id\":10,"
                     "\"method\":\"save-config.v1\",\"params\":{\"words\":[\"--\","
                     "\"save-config\",\"/tmp/x.mmh\"]}}\n");
        client.write(QByteArray(JsonRpc::MaxLineBytes + 1, 'x') + '\n');
        client.write("{\"jsonrpc\":\"2.0\",\"id\":9,\"method\":\"hello.v1\"}\n"
                     "{\"jsonrpc\":\"2.0\",\"id\":11,\"method\":\"headend.v1\"}\n");
        QList<QJsonObject> said;
        const auto hears = [&](int count) {
            return runUntil(
                [&] {
                    while (client.canReadLine())
                        said << QJsonDocument::fromJson(client.readLine()).object();
                    return said.size() >= count;
                },
                60000);
        };
        QVERIFY(hears(7));
        QStringList answers;
        for (const QJsonObject& a : said)
            answers << QString("%1 %2 %3")
                           .arg(a["id"].toVariant().toString(),
                                a["error"]["code"].toVariant().toString(),
                                a["result"]["line"].toString());
        QCOMPARE(answers,
                 QStringList({" -32700 ", "7 -32601 ", "8 -32602 ", "10 -32602 ", " -32600 ",
                              "9  " + remote->slavePath(), "11  " + remote->slavePath()}));
        // The head-end as the agent's scan saw it.
        QStringList present;
        for (const QJsonValue& m : said[6]["result"].toObject()["slots"].toArray())
            if (m["present"].toBool())
                present << m["module"].toString() + ' ' + m["type"].toString() +
                               (m["fault"].toBool() ? " FAULT" : " OK");
        QCOMPARE(present, QStringList({"1/1 LA-862 OK", "1/2 NC-100 OK"}));
        // Another client's change is told to this one.
        QCOMPARE(QProcess::execute(QCoreApplication::applicationDirPath() + "/orvex-cli",
                                   {"--port", "agent:" + agent->socket(), "reset", "1/2"}),
                 0);
        QVERIFY(hears(8));
        const QJsonObject event = said.last()["params"].toObject();
        QCOMPARE(said.last()["method"].toString(), "event.v1");
        QCOMPARE(event["command"].toString(), "reset 1/2");
        EXPECT_ENDS(event["user"].toString(), QString("(uid %1)").arg(geteuid()));
        // A page's spin box: two steps written at once, then the commit, each change told.
        remote->headend().clearLog();
        for (const char* call : {"step.v1\",\"params\":{\"module\":\"1/1\",\"index\":1,\"up\":true",
                                 "step.v1\",\"params\":{\"module\":\"1/1\",\"index\":1,\"up\":true",
                                 "commit.v1\",\"params\":{\"module\":\"1/1\""})
            client.write(QByteArray("{\"jsonrpc\":\"2.0\",\"id\":12,\"method\":\"") + call +
                         "}}\n");
        QVERIFY(hears(14));
        QStringList told;
        for (const QJsonObject& m : said.mid(8))
            told << (m.contains("id")
                         ? m["result"].toObject()["param"].toObject()["shown"].toString()
                         : m["params"]["command"].toString());
        QCOMPARE(told, QStringList({"write 1/1 parameter 1 = 17", "8.5",
                                    "write 1/1 parameter 1 = 18", "9.0", "commit 1/1", ""}));
        QByteArray line = remote->headend().received();
        QStringList written;
        for (const QByteArray& frame : PtyPeer::takeFrames(line))
            if (!PtyPeer::isSelect(frame))
                written << PtyPeer::readable(frame);
        QCOMPARE(written.size(), 3);
        QCOMPARE(written.last(), "6");
        QCOMPARE(QFileInfo(agent->socket()).permissions() & 0x0777,
                 QFileDevice::Permissions(0x0660));
        if (geteuid() != 0)
            QSKIP("a second user needs root to act as one");
        // A copy of the program where the stranger may run it (the build may be in a private
        // folder).
        const QString program = agent->dir.filePath("orvex-cli");
        QVERIFY(QFile::copy(QCoreApplication::applicationDirPath() + "/orvex-cli", program));
        QProcess stranger;
        stranger.start("runuser", {"-u", "nobody", "--", program, "--port",
                                   "agent:" + agent->socket(), "scan"});
        QVERIFY(stranger.waitForFinished());
        QCOMPARE(stranger.exitCode(), 3);
        EXPECT_HAS(QString(stranger.readAllStandardError()), "cannot be reached");
    }
};

// The whole demo head-end behind the agent, reached through ssh. A client that vanishes while
// its load runs (its ssh killed) leaves no module half written: the load ends after the
// module at hand, with its commit sent, and the agent goes on. The line itself, lent (what the
// windows, the console and the pages work on): the same frames, the changes logged.
class AgentLineTest : public QObject {
    Q_OBJECT
    std::unique_ptr<SimServer> sim;
    std::unique_ptr<SiteAgent> agent;
    Sshd sshd;
    QString bin = QCoreApplication::applicationDirPath() + "/orvex-cli";
    QString ssh() const { return QString("ssh://127.0.0.1:%1/site").arg(sshd.port()); }
    // From its first write on, the load at the agent selected no module but the first: its
    // values, its commit, its restart.
    void onlyTheFirstModule() {
        const QByteArray line = sim->headend().received();
        const QByteArray load = line.mid(line.indexOf("!5"));
        for (qsizetype at = load.indexOf("!\xC"); at >= 0; at = load.indexOf("!\xC", at + 1))
            QCOMPARE(load.mid(at, 3), QByteArray("!\xC0\x80"));
        QVERIFY(load.lastIndexOf("!6\r") > load.lastIndexOf("!5"));
        QCOMPARE(restartFrames(line), QStringList{"71/1"});
    }
    // What 1/1 (QM4-C) holds in its EEPROM for its spectrum, on the channel it works on.
    std::optional<int> spectrum() const {
        return sim->headend().committedValue(0, 0, 6, sim->headend().state(0, 0).channel);
    }

private Q_SLOTS:
    void initTestCase() {
        if (!Sshd::available())
            QSKIP("no OpenSSH server here (scripts/setup.sh installs openssh-server)");
        sim = startDemo({-1, 0, {}});
        agent = std::make_unique<SiteAgent>(*sim);
        QString error;
        QVERIFY2(sshd.start({"ORVEX_AGENT_DIR=" + agent->dir.path()}, &error), qPrintable(error));
        QVERIFY(runUntil([&] { return agent->logged("scan: ") == 1; }, 60000));
        qputenv("ORVEX_SSH_COMMAND", sshd.command().toUtf8());
    }
    void cleanupTestCase() { agent.reset(); }

    void clientGone() {
        QProcess cli;
        cli.setWorkingDirectory(agent->dir.path());
        QCOMPARE(
            QProcess::execute(bin, {"--port", ssh(), "save-config", agent->dir.filePath("c.mmh")}),
            0);
        sim->headend().clearLog();
        cli.start(bin, {"--port", ssh(), "load-config", "c.mmh"});
        QVERIFY(runUntil([&] { return sim->headend().received().contains("!5"); }, 60000));
        cli.kill();
        QVERIFY(
            runUntil([&] { return agent->logged("(the client left meanwhile)") == 1; }, 120000));
        onlyTheFirstModule();
        QCOMPARE(QProcess::execute(bin, {"--port", "agent:" + agent->socket(), "show", "1/1"}), 0);
    }

    // Stopped in the windows (closed a second time while they work), a load at the agent ends
    // as on the line itself: after the module at hand, with its commit, naming the modules it
    // did not load.
    void stopped() {
        RecordingHost host;
        HeadendSession session(host);
        session.link().ComPort().setPortName(ssh());
        const QString file = agent->dir.filePath("s.mmh");
        QVERIFY(session.saveConfig(file).ok());
        sim->headend().clearLog();
        QTimer writing;
        connect(&writing, &QTimer::timeout,
                [&] { host.stop = host.stop || sim->headend().received().contains("!5"); });
        writing.start(5);
        QVERIFY(!session.load(file, false).ok());
        EXPECT_HAS(host.messages.join('\n'), "Not loaded: 1/2, ");
        onlyTheFirstModule();
    }

    // Through ssh at 40 ms each way: a write and its commit reach the module and are logged
    // with the user; other clients are told who holds the line; the console and the pages
    // work on it; the agent takes the line back and scans once the clients let go.
    void lentLine() {
        DelayProxy proxy(sshd.port(), 80);
        const QString port = QString("ssh://127.0.0.1:%1/site").arg(proxy.port());
        const int scans = agent->logged("scan: ");
        QLocalSocket listener; // another client, which hears of the change
        listener.connectToServer(agent->socket());
        QVERIFY(listener.waitForConnected());
        LinkFixture f;
        QVERIFY2(f.link->OpenLink(port), qPrintable(f.link->ComPort().errorString()));
        QVERIFY(f.link->SelectModule(0, 0));
        QVERIFY(f.link->WriteValue(6, 1));
        QVERIFY(f.link->CommitEEPROM(0, 0));
        QCOMPARE(spectrum(), std::optional<int>(1));
        QVERIFY(f.link->WriteValue(6, 0) && f.link->CommitEEPROM(0, 0));
        const QString by =
            QString(" by %1 (uid %2)").arg(qEnvironmentVariable("USER", "root")).arg(geteuid());
        QVERIFY(runUntil([&] {
            return agent->logged(("bridge: 1/1 write parameter 6 = 1" + by).toUtf8()) == 1;
        }));
        EXPECT_HAS(QString(agent->log), "bridge: 1/1 commit" + by);
        QByteArray heard;
        QVERIFY(runUntil([&] {
            heard += listener.readAll();
            return heard.contains(R"("command":"1/1 write parameter 6 = 1")");
        }));
        // Another engineer is told who has the line, at once for the line itself, after a
        // moment's wait for an operation.
        LinkFixture other;
        QVERIFY(!other.link->OpenLink("agent:" + agent->socket()));
        const QString inUse = "the line is in use by another client:" + by.mid(3);
        EXPECT_HAS(other.link->ComPort().errorString(), inUse);
        QProcess cli;
        cli.start(bin, {"--port", "agent:" + agent->socket(), "scan"});
        QVERIFY(cli.waitForFinished());
        QCOMPARE(cli.exitCode(), 3);
        EXPECT_HAS(QString(cli.readAllStandardError()), inUse);
        LineChecks::console(f, *sim, 8);
        // The pages are served at the agent, where no other user of the box gets in.
        LineChecks::pages(f, port, [&](quint16) {
            QVERIFY(agent->logged("pages: served on 127.0.0.1:") == 1);
            if (geteuid() != 0)
                return;
            const QString at = QRegularExpression("served on (127.0.0.1:\\d+)")
                                   .match(QString(agent->log))
                                   .captured(1);
            QProcess stranger;
            stranger.start("runuser", {"-u", "nobody", "--", "curl", "-sS", "-m", "20", at});
            QVERIFY(stranger.waitForFinished(30000));
            QVERIFY(stranger.exitCode() == 52 || stranger.exitCode() == 56);
        });
        // By the agent's socket the same, the server on this machine and no forwarding.
        LinkFixture here;
        const QString socket = "agent:" + agent->socket();
        QVERIFY(runUntil([&] { return here.link->OpenLink(socket); }, 30000));
        LineChecks::pages(here, socket);
        // (The scans after the first clients left were cut short by the next asking for the line.)
        QVERIFY(runUntil([&] { return agent->logged("scan: ") > scans; }, 60000));
    }

    // The windows on ssh:// (from their command line): the scan finds the head-end, a list
    // changed on a panel reaches the module's EEPROM.
    void windows() {
        AppFixture app({}, {"orvex-link", "--port", ssh()});
        app.start();
        QVERIFY(app.scan());
        QCOMPARE(app.main().state().FoundCount, 12);
        app.click(0, 0);
        app.control(6)->setCurrentIndex(1);
        QCOMPARE(spectrum(), std::optional<int>(1));
        app.control(6)->setCurrentIndex(0);
        QCOMPARE(app.main().shownMessages, QStringList());
    }
};

ORVEX_TEST(AgentLineTest)
ORVEX_TEST(AgentTest)
#include "agent.moc"
