#include "tests/monitor/MonitorRig.h"
#include "tests/support/TestMain.h"

#include <QTcpSocket>

namespace {
// The text of bit 4 of the optical receiver (2/8): quotes, a backslash and a Latin-1 letter
// must reach Prometheus as they are.
const QString kOddText = QString::fromUtf8("Temperature \"high\" \\ 50 \u00b0C");

SimProfile rigProfile() {
    SimProfile p = demoProfile();
    for (SimSlotDef& d : p.modules)
        if (d.subrack == 1 && d.slot == 7)
            d.module.extDiag[4] = kOddText;
    return p;
}

// A PromQL string literal.
QString quoted(const QString& text) {
    QString t = text;
    return QLatin1Char('"') +
           t.replace(QLatin1String("\\"), QLatin1String("\\\\"))
               .replace(QLatin1String("\""), QLatin1String("\\\"")) +
           QLatin1Char('"');
}

// Reads from the socket until done(bytes) holds or it closes.
QByteArray readUntil(QTcpSocket& s, const std::function<bool(const QByteArray&)>& done) {
    QByteArray bytes;
    MonitorRig::eventually([&] {
        bytes += s.readAll();
        return done(bytes) || s.state() == QAbstractSocket::UnconnectedState;
    });
    return bytes + s.readAll();
}
} // namespace

// orvex-monitor on the simulated demo head-end, read through a real Prometheus. The functions
// run in order on one rig: the demo first, then an injected fault, the bridge, and the faults
// of the line last.
class MonitorTest : public QObject {
    Q_OBJECT
    std::unique_ptr<MonitorRig> rig;

private Q_SLOTS:
    void initTestCase() {
        QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("prometheus")).isEmpty(),
                 "prometheus is not installed (scripts/setup.sh installs it)");
        rig = std::make_unique<MonitorRig>(rigProfile());
        QVERIFY(rig->start(QFINDTESTDATA("../../deploy/orvex-alerts.yml")));
    }
    void cleanupTestCase() { rig.reset(); }

    // The example scrape configuration of deploy/ (its alert rules are the ones the rig's
    // Prometheus runs, which refuses to start on a broken rule file).
    void deployConfigPassesPromtool() {
        QProcess promtool;
        promtool.setWorkingDirectory(
            QFileInfo(QFINDTESTDATA("../../deploy/prometheus.yml")).path());
        promtool.setProcessChannelMode(QProcess::MergedChannels);
        promtool.start("promtool", {"check", "config", "prometheus.yml"});
        QVERIFY(promtool.waitForFinished(60000));
        QVERIFY2(promtool.exitCode() == 0, promtool.readAll().constData());
    }

    void demoHeadend_data() {
        QTest::addColumn<QString>("expr");
        QTest::addColumn<double>("value");
        QTest::newRow("faulty module") << "orvex_module_fault{subrack=\"1\",slot=\"3\"}" << 1.0;
        QTest::newRow("clear module") << "orvex_module_fault{subrack=\"2\",slot=\"8\"}" << 0.0;
        QTest::newRow("empty slot")
            << "count(orvex_module_present{slot=\"16\"}) or vector(0)" << 0.0;
        QTest::newRow("bit text")
            << "orvex_diag_bit{subrack=\"1\",slot=\"3\",byte=\"0\",bit=\"2\",text=\"Demodulator "
               "not locked\"}"
            << 1.0;
        QTest::newRow("set bits") << "count(orvex_diag_bit)" << 2.0;
        QTest::newRow("shown value")
            << "orvex_module_value{subrack=\"1\",slot=\"6\",param=\"Temperature\",units=\"C\"}"
            << 41.2;
        QTest::newRow("info")
            << "orvex_module_info{subrack=\"2\",slot=\"1\",type=\"OTX-1310\",version=\"V3.04\"}"
            << 1.0;
        QTest::newRow("fault alert") << "count(ALERTS{alertname=\"OrvexModuleFault\"})" << 1.0;
    }
    void demoHeadend() {
        QFETCH(QString, expr);
        QFETCH(double, value);
        QVERIFY2(rig->waitFor(expr, value), qPrintable(expr));
    }

    void pagesAndNoWrites() {
        const auto page = rig->get("http://" + rig->metricsHost + "/");
        QCOMPARE(page.first, 200);
        QVERIFY2(page.second.contains("<span class=\"fault\">RX-S2</span>"), page.second);
        const auto health = rig->get("http://" + rig->metricsHost + "/healthz");
        QCOMPARE(health, qMakePair(200, QByteArray("ok\n")));
        // Only selects and reading commands ever went to the line.
        const QByteArray sent = rig->sim->headend().received();
        for (qsizetype i = sent.indexOf('!'); i >= 0; i = sent.indexOf('!', i + 1))
            QVERIFY2(QByteArray("\xC0\xC1"
                                "0;12$:")
                         .contains(sent.at(i + 1)),
                     sent.mid(i, 4).toHex().constData());
    }

    // A fault appears no later than the second poll cycle after it arose.
    void injectedFaultWithinTwoPolls() {
        rig->sim->headend().setDiagBytes(1, 7, {"10"});
        const double cycles = rig->metric("orvex_poll_cycles_total");
        QVERIFY(rig->waitFor(
            "orvex_diag_bit{subrack=\"2\",slot=\"8\",bit=\"4\",text=" + quoted(kOddText) + "}", 1));
        // The poll count at the first scrape that saw the fault, once the subquery's steps
        // have reached that scrape.
        QList<double> first;
        QVERIFY(rig->eventually([&] {
            first = rig->query("min_over_time((orvex_poll_cycles_total and on() "
                               "orvex_module_fault{subrack=\"2\",slot=\"8\"} == 1)[10m:100ms])");
            return first.size() == 1;
        }));
        QVERIFY2(first[0] <= cycles + 2, qPrintable(QString("%1 / %2").arg(first[0]).arg(cycles)));
        rig->sim->headend().setDiagBytes(1, 7, {"00"});
        QVERIFY(rig->waitFor("orvex_module_fault{subrack=\"2\",slot=\"8\"}", 0));
    }

    // A bridge client has the line to itself: the frames it sends are all the head-end hears,
    // and it gets every byte the head-end answers. A second client is turned away.
    void bridgeLendsTheLine() {
        QTcpSocket client;
        client.connectToHost(QHostAddress::LocalHost, rig->bridgePort);
        QVERIFY(client.waitForConnected(10000));
        QVERIFY(rig->eventually([&] { return rig->metric("orvex_bridge_connected") == 1; }));
        const double cycles = rig->metric("orvex_poll_cycles_total");
        SimHeadend& headend = rig->sim->headend();
        headend.clearLog();
        const QByteArray frames("!\xC0\x82!1\r!;\r");
        client.write(frames);
        const QByteArray got =
            readUntil(client, [](const QByteArray& b) { return b.count('\x03') == 2; });
        QCOMPARE(headend.received(), frames);
        QCOMPARE(got, headend.sent());
        QVERIFY(got.startsWith("\x06"
                               "05\n00\n\x03"));

        QTcpSocket second;
        second.connectToHost(QHostAddress::LocalHost, rig->bridgePort);
        QVERIFY(readUntil(second, [](const QByteArray&) { return false; }).contains("in use"));

        // Prometheus scrapes the bridged monitor five times (two poll intervals): no poll.
        QVERIFY(rig->eventually(
            [&] { return rig->query("sum_over_time(orvex_bridge_connected[1m])").value(0) >= 5; }));
        QCOMPARE(rig->metric("orvex_poll_cycles_total"), cycles);
        QCOMPARE(headend.received(), frames);

        client.disconnectFromHost();
        QVERIFY(rig->eventually([&] {
            return rig->metric("orvex_bridge_connected") == 0 &&
                   rig->metric("orvex_poll_cycles_total") > cycles;
        }));
    }

    void silentModuleIsGone() {
        SimFaults absent;
        absent.absent = true;
        rig->sim->headend().setFaults(1, 7, absent);
        QVERIFY(rig->waitFor("orvex_module_present{subrack=\"2\",slot=\"8\"}", 0));
        QVERIFY(rig->waitFor("count(ALERTS{alertname=\"OrvexModuleGone\",slot=\"8\"})", 1));
        QVERIFY(rig->query("orvex_poll_errors_total{subrack=\"2\",slot=\"8\"}").value(0) >= 2);
        rig->sim->headend().clearFaults();
        QVERIFY(rig->waitFor("orvex_module_present{subrack=\"2\",slot=\"8\"}", 1));
    }

    void lostLineComesBack() {
        rig->sim->closeLine();
        QVERIFY(rig->waitFor("orvex_line_up", 0));
        QVERIFY(rig->waitFor("count(ALERTS{alertname=\"OrvexLineDown\"})", 1));
        QString error;
        QVERIFY2(rig->sim->reopenLine(&error), qPrintable(error));
        QVERIFY(rig->waitFor("orvex_line_up", 1));
        QVERIFY(rig->waitFor("count(orvex_module_present == 1)", 12));
        QCOMPARE(rig->monitor.state(), QProcess::Running);
    }
};

ORVEX_TEST(MonitorTest)
#include "monitor.moc"
