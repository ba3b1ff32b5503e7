// orvex-agent: the site agent. Watches a head-end for Prometheus, runs the operations of its
// clients and lends its line to one TCP client. (Called orvex-monitor, it is the same.)
#include "agent/AgentServer.h"
#include "agent/HeadendMonitor.h"
#include "agent/LineBridge.h"
#include "agent/Log.h"
#include "agent/MonitorHttp.h"
#include "agent/MonitorOptions.h"
#include "agent/StdioBridge.h"
#include "link/DemoHeadend.h"
#include "sim/SimDemo.h"

#include <QCoreApplication>
#include <cmath>
#include <cstdio>

namespace {
enum ExitStatus { Done = 0, Usage = 2, Unusable = 3 };

int cannotListen(const char* what, const QString& at, const QString& error) {
    std::fprintf(stderr, "%s: cannot listen for %s on %s: %s\n",
                 qPrintable(QCoreApplication::applicationName()), what, qPrintable(at),
                 qPrintable(error));
    return Unusable;
}
} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    DemoHeadend::setStarter(SimDemo::terminal);
    MonitorOptions options;
    QString text;
    switch (MonitorOptions::parse(QCoreApplication::arguments(), &options, &text)) {
    case MonitorOptions::Help:
    case MonitorOptions::Version:
        std::fputs(qPrintable(text), stdout);
        return Done;
    case MonitorOptions::Error:
        std::fprintf(stderr, "%1$s: %2$s (see %1$s --help)\n",
                     qPrintable(QCoreApplication::applicationName()), qPrintable(text));
        return Usage;
    case MonitorOptions::Run:
        break;
    }
    if (options.stdio)
        return RunStdioBridge(options.stdioLine);
    HeadendMonitor monitor({options.port, options.interval, options.rescan, options.scanTimeout});
    MonitorHttp http(monitor, int(std::ceil(options.interval)));
    QString error;
    if (!http.listen(options.listen.address, options.listen.port, &error))
        return cannotListen("HTTP", options.listen.text(options.listen.port), error);
    const QByteArray name = QCoreApplication::applicationName().toUtf8();
    std::printf("%s: metrics on http://%s/metrics\n", name.constData(),
                qPrintable(options.listen.text(http.port())));
    LineBridge bridge(monitor, options.bridgeIdle);
    AgentServer agent(monitor, bridge);
    if (!options.socket.isEmpty()) {
        if (!agent.listen(options.socket, &error))
            return cannotListen("operations", options.socket, error);
        std::printf("%s: operations on %s\n", name.constData(), qPrintable(options.socket));
    }
    if (options.bridge) {
        if (!bridge.listen(options.bridgeAt.address, options.bridgeAt.port, &error))
            return cannotListen("the bridge", options.bridgeAt.text(options.bridgeAt.port), error);
        std::printf("%s: line bridge on %s\n", name.constData(),
                    qPrintable(options.bridgeAt.text(bridge.port())));
    }
    std::fflush(stdout);
    if (options.bridge && !options.bridgeAt.address.isLoopback())
        monitorLog(QStringLiteral("the line bridge has no authentication: whoever reaches it "
                                  "controls the head-end. Keep it on a management network, or "
                                  "on 127.0.0.1 behind ssh -L."));
    monitor.start();
    return app.exec();
}
