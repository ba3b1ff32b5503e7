// orvex-monitor: watches a head-end for Prometheus and lends its line to one TCP client.
#include "link/DemoHeadend.h"
#include "monitor/HeadendMonitor.h"
#include "monitor/LineBridge.h"
#include "monitor/Log.h"
#include "monitor/MonitorHttp.h"
#include "monitor/MonitorOptions.h"
#include "sim/SimDemo.h"

#include <QCoreApplication>
#include <cmath>
#include <cstdio>
#include <memory>

namespace {
enum ExitStatus { Done = 0, Usage = 2, Unusable = 3 };

int cannotListen(const char* what, const ListenAddress& at, const QString& error) {
    std::fprintf(stderr, "orvex-monitor: cannot listen for %s on %s: %s\n", what,
                 qPrintable(at.text(at.port)), qPrintable(error));
    return Unusable;
}
} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("orvex-monitor"));
    DemoHeadend::setStarter(SimDemo::terminal);
    MonitorOptions options;
    QString text;
    switch (MonitorOptions::parse(QCoreApplication::arguments(), &options, &text)) {
    case MonitorOptions::Help:
    case MonitorOptions::Version:
        std::fputs(qPrintable(text), stdout);
        return Done;
    case MonitorOptions::Error:
        std::fprintf(stderr, "orvex-monitor: %s (see orvex-monitor --help)\n", qPrintable(text));
        return Usage;
    case MonitorOptions::Run:
        break;
    }
    HeadendMonitor monitor({options.port, options.interval, options.rescan, options.scanTimeout});
    MonitorHttp http(monitor, int(std::ceil(options.interval)));
    QString error;
    if (!http.listen(options.listen.address, options.listen.port, &error))
        return cannotListen("HTTP", options.listen, error);
    std::printf("orvex-monitor: metrics on http://%s/metrics\n",
                qPrintable(options.listen.text(http.port())));
    std::unique_ptr<LineBridge> bridge;
    if (options.bridge) {
        bridge = std::make_unique<LineBridge>(monitor, options.bridgeIdle);
        if (!bridge->listen(options.bridgeAt.address, options.bridgeAt.port, &error))
            return cannotListen("the bridge", options.bridgeAt, error);
        std::printf("orvex-monitor: line bridge on %s\n",
                    qPrintable(options.bridgeAt.text(bridge->port())));
    }
    std::fflush(stdout);
    if (bridge && !options.bridgeAt.address.isLoopback())
        monitorLog(QStringLiteral("the line bridge has no authentication: whoever reaches it "
                                  "controls the head-end. Keep it on a management network, or "
                                  "on 127.0.0.1 behind ssh -L."));
    monitor.start();
    return app.exec();
}
