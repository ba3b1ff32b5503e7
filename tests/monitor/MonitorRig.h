#pragma once

#include "sim/SimServer.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QUrlQuery>
#include <QtTest>
#include <memory>

// The built orvex-monitor on the simulator (a pty reached through a stable link, so that the
// line can vanish and come back), and a real Prometheus scraping it every 500 ms with the alert
// rules of deploy/. Every wait is for a state, with a deadline that only a broken program
// reaches.
struct MonitorRig {
    static constexpr int Deadline = 60000;

    // Serves events until done() holds (true) or the deadline passes (false). done() may run
    // an exchange of its own.
    static bool eventually(const std::function<bool()>& done) {
        const QDeadlineTimer deadline(Deadline);
        while (!done()) {
            if (deadline.hasExpired())
                return false;
            QTest::qWait(50);
        }
        return true;
    }

    explicit MonitorRig(const SimProfile& profile) {
        SimServerOptions options;
        options.pace = 0;
        options.linkPath = dir.filePath("headend");
        QString error;
        sim = SimServer::startPty(profile, &error, options);
        if (!sim)
            qFatal("the simulator does not start: %s", qPrintable(error));
    }
    ~MonitorRig() {
        for (QProcess* p : {&prometheus, &monitor}) {
            p->terminate();
            if (!p->waitForFinished(10000))
                p->kill();
            p->waitForFinished();
        }
    }

    // Starts the monitor (its ports are what it prints) and Prometheus; false when either
    // does not come up.
    bool start(const QString& alertRules) {
        monitor.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        monitor.start(QCoreApplication::applicationDirPath() + "/orvex-monitor",
                      {"--port", sim->slavePath(), "--interval", "1", "--listen", "127.0.0.1:0",
                       "--bridge", "127.0.0.1:0"});
        QByteArray out;
        static const QRegularExpression ports(
            "metrics on http://(\\S+)/metrics\\n.*bridge on \\S+:(\\d+)\\n",
            QRegularExpression::DotMatchesEverythingOption);
        QRegularExpressionMatch m;
        eventually([&] {
            out += monitor.readAllStandardOutput();
            m = ports.match(QString::fromUtf8(out));
            return m.hasMatch() || monitor.state() == QProcess::NotRunning;
        });
        if (!m.hasMatch())
            return false;
        metricsHost = m.captured(1);
        bridgePort = quint16(m.captured(2).toUInt());
        return startPrometheus(alertRules);
    }

    bool startPrometheus(const QString& alertRules) {
        QTcpServer probe; // a free port for Prometheus, which cannot report one it chose
        if (!probe.listen(QHostAddress::LocalHost, 0))
            return false;
        promBase = QString("http://127.0.0.1:%1").arg(probe.serverPort());
        probe.close();
        QFile config(dir.filePath("prometheus.yml"));
        if (!config.open(QIODevice::WriteOnly))
            return false;
        config.write(QString("global: {scrape_interval: 500ms, evaluation_interval: 500ms}\n"
                             "rule_files: ['%1']\n"
                             "scrape_configs: [{job_name: orvex, static_configs: "
                             "[{targets: ['%2']}]}]\n")
                         .arg(alertRules, metricsHost)
                         .toUtf8());
        config.close();
        prometheus.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        prometheus.start("prometheus",
                         {"--config.file=" + config.fileName(),
                          "--storage.tsdb.path=" + dir.filePath("tsdb"),
                          "--web.listen-address=" + promBase.mid(7), "--log.level=warn"});
        return eventually([&] {
                   return prometheus.state() == QProcess::NotRunning ||
                          get(promBase + "/-/ready").first == 200;
               }) &&
               prometheus.state() == QProcess::Running;
    }

    // GET: the status (0 when there is no answer) and the body.
    QPair<int, QByteArray> get(const QUrl& url) {
        QNetworkRequest request(url);
        request.setTransferTimeout(10000);
        std::unique_ptr<QNetworkReply> reply(net.get(request));
        QEventLoop loop; // the transfer time-out ends it at the latest
        QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
        if (!reply->isFinished())
            loop.exec();
        return {reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(),
                reply->readAll()};
    }

    // The value of a series without labels on the monitor's own /metrics; NaN when it is not
    // there.
    double metric(const QString& name) {
        const QString text = QString::fromUtf8(get("http://" + metricsHost + "/metrics").second);
        for (const QString& line : text.split('\n'))
            if (line.startsWith(name + ' '))
                return line.mid(name.size() + 1).toDouble();
        return qQNaN();
    }

    // An instant query through Prometheus's HTTP API: the values of the result vector.
    QList<double> query(const QString& expr) {
        QUrl url(promBase + "/api/v1/query");
        url.setQuery(QUrlQuery{{"query", expr}});
        const QJsonObject reply = QJsonDocument::fromJson(get(url).second).object();
        QList<double> values;
        for (const QJsonValue& sample : reply["data"]["result"].toArray())
            values << sample["value"][1].toString().toDouble();
        return values;
    }
    // Waits until the query gives exactly the one value.
    bool waitFor(const QString& expr, double value) {
        return eventually([&] { return query(expr) == QList<double>{value}; });
    }

    QTemporaryDir dir;
    std::unique_ptr<SimServer> sim;
    QProcess monitor;
    QProcess prometheus;
    QNetworkAccessManager net;
    QString metricsHost;
    quint16 bridgePort = 0;
    QString promBase; // http://127.0.0.1:PORT
};
