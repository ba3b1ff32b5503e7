// orvex-monitor, built, on the simulated demo head-end at the true line rate (a pty reached through
// a stable link, so that the line can vanish and come back), read through a real Prometheus that
// scrapes it every 500 ms with the alert rules of deploy/. The functions run in order on one rig:
// the demo first, then an injected fault, the bridge, and the faults of the line last. Every wait
// is for a state, with a deadline that only a broken program reaches.
#include "tests/support/EventLoop.h"
#include "tests/support/Expect.h"
#include "tests/support/Files.h"
#include "tests/support/LinkFixture.h"
#include "tests/support/Sanitizer.h"
#include "tests/support/TestMain.h"
#include "tests/support/Unanswered.h"

#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QUrlQuery>
#include <QtTest>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
// The text of bit 4 of the optical receiver (2/8): quotes, a backslash and a Latin-1 letter
// must reach Prometheus as they are.
const QString kOddText = QString::fromUtf8("Temperature \"high\" \\ 50 \u00b0C");

// Serves events until done() holds (true) or the deadline passes (false). done() may run an
// exchange of its own, so it is never entered twice.
bool eventually(const std::function<bool()>& done) {
    const QDeadlineTimer deadline(60000);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(50);
    }
    return true;
}

// Reads from the socket until done(bytes) holds or it closes.
QByteArray readUntil(QTcpSocket& s, const std::function<bool(const QByteArray&)>& done) {
    QByteArray bytes = s.readAll();
    while (!done(bytes) && s.waitForReadyRead(60000))
        bytes += s.readAll();
    return bytes;
}
} // namespace

class MonitorTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    std::unique_ptr<SimServer> sim;
    QProcess monitor, prometheus;
    QNetworkAccessManager net;
    QString metricsHost, promBase; // HOST:PORT, http://127.0.0.1:PORT
    quint16 bridgePort = 0;

    // GET: the status (0 when there is no answer) and the body.
    QPair<int, QByteArray> get(const QUrl& url) {
        QNetworkRequest request(url);
        request.setTransferTimeout(10000);
        std::unique_ptr<QNetworkReply> reply(net.get(request));
        runUntil([&] { return reply->isFinished(); }, 20000); // the transfer time-out ends it
        return {reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(),
                reply->readAll()};
    }
    // Starts the built monitor (polling every second, HTTP on a free port) and reads what it
    // says until its ports and then `then` have come: the match has the ports.
    static QRegularExpressionMatch startMonitor(QProcess& p, const QStringList& args,
                                                QByteArray& out, const QString& then = {}) {
        p.start(QCoreApplication::applicationDirPath() + "/orvex-monitor",
                args + QStringList{"--interval", "1", "--listen", "127.0.0.1:0"});
        const QRegularExpression ports("metrics on http://(\\S+)/metrics\\n.*bridge on "
                                       "\\S+:(\\d+)\\n.*" +
                                           then,
                                       QRegularExpression::DotMatchesEverythingOption);
        QRegularExpressionMatch m;
        eventually([&] {
            m = ports.match(QString::fromUtf8(out += p.readAll()));
            return m.hasMatch() || p.state() == QProcess::NotRunning;
        });
        return m;
    }
    // A request on a connection of its own: all the monitor sends until it closes.
    QByteArray exchange(const QByteArray& request) {
        QTcpSocket s;
        s.connectToHost(QUrl("http://" + metricsHost).host(),
                        quint16(QUrl("http://" + metricsHost).port()));
        s.write(request);
        return readUntil(s, [](const QByteArray&) { return false; });
    }
    // A series without labels on the monitor's own /metrics; NaN when it is not there.
    double metric(const QString& name) {
        for (const QString& line :
             QString::fromUtf8(get("http://" + metricsHost + "/metrics").second).split('\n'))
            if (line.startsWith(name + ' '))
                return line.mid(name.size() + 1).toDouble();
        return qQNaN();
    }
    // An instant query through Prometheus's HTTP API: the values of the result vector.
    QList<double> query(const QString& expr) {
        QUrl url(promBase + "/api/v1/query");
        url.setQuery(QUrlQuery{{"query", expr}});
        QList<double> values;
        for (const QJsonValue& sample :
             QJsonDocument::fromJson(get(url).second)["data"]["result"].toArray())
            values << sample["value"][1].toString().toDouble();
        return values;
    }
    // A bridge client that has the line, once the one before has gone.
    std::unique_ptr<QTcpSocket> lend() {
        auto client = std::make_unique<QTcpSocket>();
        eventually([&] { return metric("orvex_bridge_connected") == 0; });
        client->connectToHost(QHostAddress::LocalHost, bridgePort);
        eventually([&] { return metric("orvex_bridge_connected") == 1; });
        return client;
    }
    static void leave(std::unique_ptr<QTcpSocket>& client) {
        client->disconnectFromHost();
        client->state() == QAbstractSocket::UnconnectedState || client->waitForDisconnected();
        client.reset();
    }
    // Waits until the query gives exactly the one value.
    bool waitFor(const QString& expr, double value) {
        return eventually([&] { return query(expr) == QList<double>{value}; });
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("prometheus")).isEmpty(),
                 "prometheus is not installed (scripts/setup.sh installs it)");
        SimProfile profile = demoProfile();
        for (SimSlotDef& d : profile.modules)
            if (d.subrack == 1 && d.slot == 7)
                d.module.extDiag[4] = kOddText;
            else if (d.subrack == 0 && d.slot == 0) // four channels, a number each
                d.module.params[5].flagChar |= 0x04;
        sim = startDemo({-1, 1, dir.filePath("headend")}, profile);
        monitor.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QByteArray out;
        const QRegularExpressionMatch m =
            startMonitor(monitor, {"--port", sim->slavePath(), "--bridge", "127.0.0.1:0"}, out);
        QVERIFY2(m.hasMatch(), "orvex-monitor did not start");
        metricsHost = m.captured(1);
        bridgePort = quint16(m.captured(2).toUInt());
        // Prometheus cannot report a port it chose: a free one is picked for it.
        promBase = QString("http://127.0.0.1:%1").arg(unusedPort());
        const QString config = dir.filePath("prometheus.yml");
        QVERIFY(writeFile(config,
                          QString("global: {scrape_interval: 500ms, evaluation_interval: 500ms}\n"
                                  "rule_files: ['%1']\n"
                                  "scrape_configs: [{job_name: orvex, static_configs: "
                                  "[{targets: ['%2']}]}]\n")
                              .arg(QFINDTESTDATA("../../deploy/orvex-alerts.yml"), metricsHost)
                              .toUtf8()));
        prometheus.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        prometheus.start("prometheus",
                         {"--config.file=" + config, "--storage.tsdb.path=" + dir.filePath("tsdb"),
                          "--web.listen-address=" + promBase.mid(7), "--log.level=warn"});
        QVERIFY2(eventually([&] {
                     return prometheus.state() == QProcess::NotRunning ||
                            get(promBase + "/-/ready").first == 200;
                 }) &&
                     prometheus.state() == QProcess::Running,
                 "prometheus did not start");
    }
    void cleanupTestCase() {
        for (QProcess* p : {&prometheus, &monitor}) {
            p->terminate();
            if (!p->waitForFinished(10000))
                p->kill();
            p->waitForFinished();
        }
    }

    // The example scrape configuration of deploy/ and its alert rules' own cases: a line blip,
    // a flapping fault, a module gone, a line down (the rules are the ones the rig's
    // Prometheus runs, which refuses to start on a broken rule file).
    void deployPassesPromtool() {
        for (const char* args :
             {"check config prometheus.yml", "test rules orvex-alerts-test.yml"}) {
            QProcess promtool;
            promtool.setWorkingDirectory(
                QFileInfo(QFINDTESTDATA("../../deploy/prometheus.yml")).path());
            promtool.setProcessChannelMode(QProcess::MergedChannels);
            promtool.start("promtool", QString(args).split(' '));
            QVERIFY(promtool.waitForFinished(60000));
            QVERIFY2(promtool.exitCode() == 0, promtool.readAll().constData());
        }
    }

    void demoHeadend_data() {
        QTest::addColumn<QString>("expr");
        QTest::addColumn<double>("value");
        const auto row = [](const char* name, const char* expr, double value) {
            QTest::newRow(name) << QString(expr) << value;
        };
        row("faulty module", "orvex_module_fault{subrack=\"1\",slot=\"3\"}", 1);
        row("empty slot", "count(orvex_module_present{slot=\"16\"}) or vector(0)", 0);
        row("bit text",
            "orvex_diag_bit{subrack=\"1\",slot=\"3\",byte=\"0\",bit=\"2\",text=\"Demodulator "
            "not locked\"}",
            1);
        row("set bits", "count(orvex_diag_bit)", 2);
        row("shown value",
            "orvex_module_value{subrack=\"1\",slot=\"6\",param=\"Temperature\",units=\"C\"}", 41.2);
        row("info",
            "orvex_module_info{subrack=\"2\",slot=\"1\",type=\"OTX-1310\",version=\"V3.04\"}", 1);
        row("fault alert", "count(ALERTS{alertname=\"OrvexModuleFault\"})", 1);
        row("channel", "orvex_module_value{subrack=\"1\",slot=\"1\",channel=\"4\"}", 93);
        row("channels", "count(orvex_module_value{subrack=\"1\",slot=\"1\"})", 4);
    }
    void demoHeadend() {
        QFETCH(QString, expr);
        QFETCH(double, value);
        QVERIFY2(waitFor(expr, value), qPrintable(expr));
    }

    // GET and HEAD on the three paths, 405 for another method, 404 elsewhere; "close" among the
    // tokens of Connection ends the connection after the answer, the request behind it unserved.
    void httpRequests_data() {
        QTest::addColumn<QByteArray>("request"); // its line, then its Connection header
        QTest::addColumn<QByteArray>("answer");  // its status, then something it holds
        const auto row = [](const char* name, const char* request, const char* answer) {
            QTest::newRow(name) << QByteArray(request) << QByteArray(answer);
        };
        row("get", "GET /metrics|close", "200|\norvex_line_up{");
        row("head", "HEAD /healthz|keep-alive, Close", "200|Length: 3\r");
        row("post", "POST /|TE, close", "405|Allow: GET, HEAD\r");
        row("other", "GET /metrics/|close", "404|");
        row("head other", "HEAD /nothing|close", "404|Length: 40\r");
    }
    void httpRequests() {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, answer);
        const QList<QByteArray> r = request.split('|');
        const QByteArray got = exchange(r[0] + " HTTP/1.1\r\nConnection: " + r[1] +
                                        "\r\n\r\nGET /healthz HTTP/1.1\r\n\r\n");
        EXPECT_STARTS(got, "HTTP/1.1 " + answer.split('|')[0]);
        EXPECT_HAS(got, answer.split('|')[1]);
        QCOMPARE(got.count("HTTP/1.1 "), 1);
        QCOMPARE(got.endsWith("\r\n\r\n"), request.startsWith("HEAD")); // HEAD: no body
    }

    void pagesAndNoWrites() {
        const auto page = get("http://" + metricsHost + "/");
        QCOMPARE(page.first, 200);
        EXPECT_HAS(page.second, "<span class=\"fault\">RX-S2</span>");
        QCOMPARE(get("http://" + metricsHost + "/healthz"), qMakePair(200, QByteArray("ok\n")));
        // Only selects and reading commands ever went to the line.
        const QByteArray sent = sim->headend().received();
        for (qsizetype i = sent.indexOf('!'); i >= 0; i = sent.indexOf('!', i + 1))
            QVERIFY2(QByteArray("\xC0\xC1"
                                "0;12$:")
                         .contains(sent.at(i + 1)),
                     sent.mid(i, 4).toHex().constData());
    }

    // A fault appears no later than the second poll cycle after it arose.
    void injectedFaultWithinTwoPolls() {
        sim->headend().setDiagBytes(1, 7, {"10"});
        const double cycles = metric("orvex_poll_cycles_total");
        // The text as a PromQL string literal.
        QVERIFY(waitFor("orvex_diag_bit{subrack=\"2\",slot=\"8\",bit=\"4\",text=\"" +
                            QString(kOddText).replace("\\", "\\\\").replace("\"", "\\\"") + "\"}",
                        1));
        // The poll count at the first scrape that saw the fault, once the subquery's steps
        // have reached that scrape.
        QList<double> first;
        QVERIFY(eventually([&] {
            first = query("min_over_time((orvex_poll_cycles_total and on() "
                          "orvex_module_fault{subrack=\"2\",slot=\"8\"} == 1)[10m:100ms])");
            return first.size() == 1;
        }));
        QVERIFY2(first[0] <= cycles + 2, qPrintable(QString("%1 / %2").arg(first[0]).arg(cycles)));
        sim->headend().setDiagBytes(1, 7, {"00"});
        QVERIFY(waitFor("orvex_module_fault{subrack=\"2\",slot=\"8\"}", 0));
    }

    // A bridge client has the line to itself: the frames it sends are all the head-end hears,
    // and it gets every byte the head-end answers. A second client is turned away.
    void bridgeLendsTheLine() {
        auto client = lend();
        const double cycles = metric("orvex_poll_cycles_total");
        SimHeadend& headend = sim->headend();
        headend.clearLog();
        const QByteArray frames("!\xC0\x82!1\r!;\r");
        client->write(frames);
        const QByteArray got =
            readUntil(*client, [](const QByteArray& b) { return b.count('\x03') == 2; });
        QCOMPARE(headend.received(), frames);
        QCOMPARE(got, headend.sent());

        // ORVEX Link's engine on the same bridge hears that the line is taken (its long
        // time-out waits for the monitor's word however busy the machine is).
        QProcess cli;
        cli.start(QCoreApplication::applicationDirPath() + "/orvex-cli",
                  {"--port", QString("tcp://127.0.0.1:%1").arg(bridgePort), "--scan-timeout",
                   "60000", "show", "1/1"});
        QVERIFY(cli.waitForFinished(120000));
        QCOMPARE(cli.exitCode(), 3);
        EXPECT_HAS(cli.readAllStandardError(), ": The line is in use by another client (ORVEX "
                                               "monitor: the line is in use by 127.0.0.1:");
        QVERIFY(metric("orvex_bridge_held_seconds") > 0);
        QProcess ss; // the monitor's end of the connection probes a client gone silent
        ss.start("ss", {"-tnoH", "state", "established", QString("sport = :%1").arg(bridgePort)});
        QVERIFY(ss.waitForFinished());
        EXPECT_HAS(ss.readAll(), "timer:(keepalive,");

        // Prometheus scrapes the bridged monitor five times (two poll intervals): no poll.
        QVERIFY(eventually(
            [&] { return query("sum_over_time(orvex_bridge_connected[1m])").value(0) >= 5; }));
        QCOMPARE(metric("orvex_poll_cycles_total"), cycles);
        QCOMPARE(headend.received(), frames);

        client->disconnectFromHost();
        QVERIFY(eventually([&] {
            return metric("orvex_bridge_connected") == 0 &&
                   metric("orvex_poll_cycles_total") > cycles;
        }));
    }

    // Bulk from a client goes to the line as fast as the line takes it, and the monitor
    // answers meanwhile. A client that leaves a console open, or a reply under way, leaves the
    // line as it found it: the console is ended before anything else, no leftover makes a
    // module, and the monitor watches all twelve again.
    void bridgeClientsLeaveNoMess() {
        SimHeadend& headend = sim->headend();
        auto client = lend();
        headend.clearLog();
        const int bulk = 256 * 1024; // bytes outside frames: the modules ignore them
        client->write(QByteArray(bulk, '\0'));
        QVERIFY(eventually([&] { return headend.received().size() > 1000; }));
        QCOMPARE(get("http://" + metricsHost + "/metrics").first, 200);
        QVERIFY(headend.received().size() < bulk / 2);
        // Gone at once, its bytes in flight dropped (a reset); what the monitor took in from
        // it still goes to the line.
        const linger reset{1, 0};
        ::setsockopt(int(client->socketDescriptor()), SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
        client.reset();
        QVERIFY(eventually([&] { return metric("orvex_bridge_held_seconds") == 0; }));

        // Leaves with replies under way for longer than any fixed wait: the rescan waits until
        // the line is quiet, and misses none; a module that answers without its replies is
        // shown faulty, without values (the one with poll errors). One still restarting after
        // a reset (silent at three presence checks of two frames) is waited for, not missed.
        headend.setFaults(0, 5, faults([](SimFaults& s) { s.silent = true; }));
        client = lend();
        headend.setFaults(
            0, 3, faults([](SimFaults& s) { s.selectPattern = "000000" + QString(99, '1'); }));
        client->write(QByteArray("!\xC1\x80!0\r").repeated(800)); // 2/1, for 20 seconds
        readUntil(*client, [](const QByteArray& b) { return b.contains('\x02'); });
        const double cycles = metric("orvex_poll_cycles_total");
        leave(client);
        QVERIFY(eventually([&] { return metric("orvex_poll_cycles_total") > cycles; }));
        const QString info = QString::fromUtf8(get("http://" + metricsHost + "/metrics").second);
        headend.clearFaults();
        QCOMPARE(info.count("\norvex_module_info{"), 12);
        EXPECT_HAS(info, "\norvex_module_info{subrack=\"1\",slot=\"1\",type=\"QM4-C\"");
        QCOMPARE(info.count(QRegularExpression("\norvex_poll_errors_total{[^}]*} [1-9]")), 1);
        EXPECT_HAS(info, "\norvex_module_fault{subrack=\"1\",slot=\"6\"} 1");
        QVERIFY(!info.contains("\norvex_module_value{subrack=\"1\",slot=\"6\""));

        // Leaves a console open: it is ended before any frame.
        client = lend();
        client->write("!\xC0\x88");
        readUntil(*client, [](const QByteArray& b) { return b.endsWith('\x06'); });
        headend.clearLog();
        client->write("9\r");
        readUntil(*client, [](const QByteArray& b) { return b.endsWith('\x16'); });
        leave(client);
        QVERIFY(eventually([&] { return headend.received().size() > 8; }));
        EXPECT_STARTS(headend.received(), "9\r\x03\r!\xC0\x80");
        QVERIFY(!headend.state(0, 8).consoleOpen);
    }

    // Waves of connections that send too much, too slowly or nothing, or never read: a monitor
    // with few descriptors answers /metrics throughout, closes them all, and stays near its
    // idle size. Its bridge, open to every address, warns that it has no authentication and
    // closes a quiet client.
    void floodAndQuietBridgeClient() {
        QProcess flooded;
        flooded.setChildProcessModifier([] {
            const rlimit few{32, 32}; // a dozen in use when idle
            ::setrlimit(RLIMIT_NOFILE, &few);
        });
        flooded.setProcessChannelMode(QProcess::MergedChannels);
        QByteArray out;
        const QRegularExpressionMatch m =
            startMonitor(flooded, {"--port", "DEMO", "--bridge", "0.0.0.0:0", "--bridge-idle", "1"},
                         out, "has no authentication.*scan: ");
        QVERIFY(m.hasMatch());
        const QString metrics = "http://" + m.captured(1) + "/metrics";
        const auto proc = [&](const char* file) {
            return fileBytes(QString("/proc/%1/%2").arg(flooded.processId()).arg(file));
        };
        const auto rss = [&] {
            const QByteArray status = proc("status");
            return status.mid(status.indexOf("VmRSS:") + 6).trimmed().split(' ').first().toLong();
        };
        const auto cpuMs = [&] { // its user and system time
            const QList<QByteArray> stat = proc("stat").split(')').last().split(' ');
            return (stat[12].toLong() + stat[13].toLong()) * 1000 / sysconf(_SC_CLK_TCK);
        };
        QCOMPARE(get(metrics).first, 200);
        const long idleKb = rss(), cpuBefore = cpuMs();
        QElapsedTimer wall;
        wall.start();
        const QList<QByteArray> kinds{{},
                                      {},
                                      {},
                                      "GET /metr",
                                      "GET / HTTP/1.1\r\nX: " + QByteArray(4 << 20, 'x'),
                                      "POST / HTTP/1.1\r\nContent-Length: 99999999\r\n\r\n" +
                                          QByteArray(4 << 20, 'x'),
                                      QByteArray("GET /metrics HTTP/1.1\r\n\r\n").repeated(5000)};
        // Waves within the kernel's queue of connections not yet taken (50), whose overflow
        // would only be retried by the kernel at its own pace.
        for (int wave = 0; wave < 3; ++wave) {
            std::vector<std::unique_ptr<QTcpSocket>> flood;
            for (int i = 0; i < 40; ++i) {
                flood.push_back(std::make_unique<QTcpSocket>());
                flood.back()->connectToHost(QUrl(metrics).host(), quint16(QUrl(metrics).port()));
                flood.back()->write(kinds[i % kinds.size()]);
            }
            QCOMPARE(get(metrics).first, 200);
            QVERIFY(eventually([&] {
                return std::all_of(flood.begin(), flood.end(), [](const auto& s) {
                    return s->state() == QAbstractSocket::UnconnectedState;
                });
            }));
        }
        // A generous bound: a monitor out of descriptors spins at a whole core.
        const double cpu = double(cpuMs() - cpuBefore) / double(wall.elapsed());
        const long afterKb = rss();
        qInfo("RSS %ld kB idle, %ld kB after the flood; CPU %.3f of a core", idleKb, afterKb, cpu);
        QVERIFY2(cpu < 0.25, qPrintable(QString::number(cpu)));
#ifndef ORVEX_ASAN // the monitor of this tree is built with it too
        QVERIFY2(afterKb - idleKb < 4 * 1024, qPrintable(QString::number(afterKb - idleKb)));
#endif

        QTcpSocket quiet;
        quiet.connectToHost(QHostAddress::LocalHost, quint16(m.captured(2).toUInt()));
        readUntil(quiet, [](const QByteArray&) { return false; });
        QCOMPARE(quiet.state(), QAbstractSocket::UnconnectedState);
        flooded.kill();
        flooded.waitForFinished();
    }

    void silentModuleIsGone() {
        sim->headend().setFaults(1, 7, faults([](SimFaults& s) { s.absent = true; }));
        QVERIFY(waitFor("orvex_module_present{subrack=\"2\",slot=\"8\"}", 0));
        QVERIFY(waitFor("count(ALERTS{alertname=\"OrvexModuleGone\",slot=\"8\"})", 1));
        QVERIFY(query("orvex_poll_errors_total{subrack=\"2\",slot=\"8\"}").value(0) >= 2);
        sim->headend().clearFaults();
        QVERIFY(waitFor("orvex_module_present{subrack=\"2\",slot=\"8\"}", 1));
    }

    void lostLineComesBack() {
        sim->closeLine();
        QVERIFY(waitFor("orvex_line_up", 0));
        QVERIFY(waitFor("count(ALERTS{alertname=\"OrvexLineDown\"})", 1));
        QString error;
        QVERIFY2(sim->reopenLine(&error), qPrintable(error));
        QVERIFY(waitFor("orvex_line_up", 1));
        QVERIFY(waitFor("count(orvex_module_present == 1)", 12));
        QCOMPARE(monitor.state(), QProcess::Running);
    }
};

ORVEX_TEST(MonitorTest)
#include "monitor.moc"
