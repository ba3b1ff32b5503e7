#include "agent/MonitorOptions.h"

#include <QCommandLineParser>
#include <QCoreApplication>

namespace {
constexpr double kShortestInterval = 0.1; // seconds
constexpr double kLongestPeriod = 24 * 3600;

bool number(const QString& text, double min, double max, double* out) {
    bool ok = false;
    const double v = text.toDouble(&ok);
    if (!ok || !(v >= min && v <= max))
        return false;
    *out = v;
    return true;
}

// Reads the options that take values; false with the problem in *error.
bool readValues(const QCommandLineParser& p, MonitorOptions* o, QString* error) {
    o->port = p.value(QStringLiteral("port"));
    if (p.isSet(QStringLiteral("interval")) &&
        !number(p.value(QStringLiteral("interval")), kShortestInterval, kLongestPeriod,
                &o->interval)) {
        *error = QStringLiteral("--interval takes seconds, 0.1 to 86400");
        return false;
    }
    if (p.isSet(QStringLiteral("rescan")) &&
        !number(p.value(QStringLiteral("rescan")), kShortestInterval / 60, kLongestPeriod / 60,
                &o->rescan)) {
        *error = QStringLiteral("--rescan takes minutes, more than 0 and at most 1440");
        return false;
    }
    double timeout = 0;
    if (p.isSet(QStringLiteral("scan-timeout"))) {
        if (!number(p.value(QStringLiteral("scan-timeout")), 1, 60000, &timeout)) {
            *error = QStringLiteral("--scan-timeout takes milliseconds, 1 to 60000");
            return false;
        }
        o->scanTimeout = int(timeout);
    }
    if (p.isSet(QStringLiteral("listen")) &&
        !ListenAddress::parse(p.value(QStringLiteral("listen")), &o->listen)) {
        *error = QStringLiteral("--listen takes ADDRESS:PORT, e.g. 127.0.0.1:9188");
        return false;
    }
    double idle = 0;
    if (p.isSet(QStringLiteral("bridge-idle"))) {
        if (!number(p.value(QStringLiteral("bridge-idle")), 0, kLongestPeriod, &idle)) {
            *error = QStringLiteral("--bridge-idle takes seconds, 0 (never) to 86400");
            return false;
        }
        o->bridgeIdle = int(idle);
    }
    o->socket = p.value(QStringLiteral("socket"));
    o->bridge = p.isSet(QStringLiteral("bridge"));
    if (o->bridge && !ListenAddress::parse(p.value(QStringLiteral("bridge")), &o->bridgeAt)) {
        *error = QStringLiteral("--bridge takes ADDRESS:PORT, e.g. 0.0.0.0:4001");
        return false;
    }
    return true;
}
} // namespace

bool ListenAddress::parse(const QString& text, ListenAddress* out) {
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon < 0)
        return false;
    bool ok = false;
    const uint port = text.mid(colon + 1).toUInt(&ok);
    if (!ok || port > 65535)
        return false;
    QString host = text.left(colon);
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        host = host.mid(1, host.size() - 2);
    QHostAddress address;
    if (host.isEmpty() || host == QLatin1String("*"))
        address = QHostAddress(QHostAddress::Any);
    else if (host == QLatin1String("localhost"))
        address = QHostAddress(QHostAddress::LocalHost);
    else if (!address.setAddress(host))
        return false;
    *out = ListenAddress{address, quint16(port)};
    return true;
}

QString ListenAddress::text(quint16 actualPort) const {
    const QString host = address.protocol() == QAbstractSocket::IPv6Protocol
                             ? QLatin1Char('[') + address.toString() + QLatin1Char(']')
                             : address.toString();
    return host + QLatin1Char(':') + QString::number(actualPort);
}

MonitorOptions::Outcome MonitorOptions::parse(const QStringList& arguments, MonitorOptions* out,
                                              QString* text) {
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral(
        "The site agent of a head-end: polls every module's diagnostic bytes, serves them to "
        "Prometheus on /metrics (and a status page on /), runs the operations of orvex-cli "
        "clients on --socket (agent: and ssh:// ports), and lends the line to one TCP client "
        "on --bridge. Polling never writes to a module."));
    const QCommandLineOption help = p.addHelpOption();
    const QCommandLineOption version = p.addVersionOption();
    p.addOptions({
        {QStringLiteral("port"),
         QStringLiteral("The line: ttyUSB0, /dev/ttyS0, COM1, DEMO or a remote port name "
                        "(default: the port of OXLCom.ini, else COM1)."),
         QStringLiteral("name")},
        {QStringLiteral("interval"), QStringLiteral("Seconds between polls (default 30)."),
         QStringLiteral("s")},
        {QStringLiteral("rescan"), QStringLiteral("Minutes between scans (default 15)."),
         QStringLiteral("min")},
        {QStringLiteral("listen"),
         QStringLiteral("HTTP address for /metrics, /healthz and / (default 127.0.0.1:9188)."),
         QStringLiteral("addr:port")},
        {QStringLiteral("bridge"),
         QStringLiteral("Lend the line to one raw TCP client here, e.g. 127.0.0.1:4001 (off by "
                        "default). It has no authentication: whoever reaches it controls the "
                        "head-end."),
         QStringLiteral("addr:port")},
        {QStringLiteral("bridge-idle"),
         QStringLiteral("Close a bridge client after this many seconds with nothing passing "
                        "either way (default 300; 0: never)."),
         QStringLiteral("s")},
        {QStringLiteral("socket"),
         QStringLiteral("Serve operations on this Unix socket (mode 0660, group orvex), e.g. "
                        "/run/orvex-agent/ttyUSB0.sock."),
         QStringLiteral("path")},
        {QStringLiteral("stdio"),
         QStringLiteral("Connect stdin and stdout to the running agent of LINE (or the only "
                        "one) instead: what ssh runs for a remote client.")},
        {QStringLiteral("scan-timeout"),
         QStringLiteral("Reply time-out in ms where the program uses its scan time-out."),
         QStringLiteral("ms")},
    });
    if (!p.parse(arguments)) {
        *text = p.errorText();
        return Error;
    }
    if (p.isSet(help)) {
        *text = p.helpText();
        return Help;
    }
    if (p.isSet(version)) {
        *text = QStringLiteral("%1 %2\n").arg(QCoreApplication::applicationName(),
                                              QStringLiteral(ORVEX_VERSION));
        return Version;
    }
    out->stdio = p.isSet(QStringLiteral("stdio"));
    if (out->stdio && p.positionalArguments().size() <= 1) {
        out->stdioLine = p.positionalArguments().value(0);
        return Run;
    }
    if (!p.positionalArguments().isEmpty()) {
        *text = QStringLiteral("unexpected argument '%1'").arg(p.positionalArguments().first());
        return Error;
    }
    return readValues(p, out, text) ? Run : Error;
}
