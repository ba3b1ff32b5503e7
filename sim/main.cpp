// headend-sim: a head-end of up to 2 x 16 modules on a pseudo-terminal or a real serial line.
#include "sim/SimServer.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>
#include <QSocketNotifier>
#include <QTime>
#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int g_signalPipe[2] = {-1, -1};

void onSignal(int) {
    const char x = 's';
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &x, 1);
}

bool loadProfile(const QCommandLineParser& args, SimProfile* profile) {
    if (!args.isSet(QStringLiteral("profile"))) {
        *profile = demoProfile();
        return true;
    }
    QString error;
    if (SimProfile::fromFile(args.value(QStringLiteral("profile")), profile, &error))
        return true;
    std::fprintf(stderr, "headend-sim: %s\n", qPrintable(error));
    return false;
}

// Reads the options into the profile and the server options; false (with a message) when
// they are not usable.
bool readOptions(const QCommandLineParser& args, SimProfile* profile, SimServerOptions* options) {
    if (args.isSet(QStringLiteral("pty")) == args.isSet(QStringLiteral("device"))) {
        std::fprintf(stderr, "headend-sim: give either --pty or --device PATH (see --help)\n");
        return false;
    }
    if (!loadProfile(args, profile))
        return false;
    options->linkPath = args.value(QStringLiteral("link"));
    bool ok = true;
    if (args.isSet(QStringLiteral("latency")))
        options->latencyMs = qMax(0, args.value(QStringLiteral("latency")).toInt(&ok));
    if (ok && args.isSet(QStringLiteral("reset-time")))
        profile->resetMs = qMax(0, args.value(QStringLiteral("reset-time")).toInt(&ok));
    if (args.isSet(QStringLiteral("pace")) || args.isSet(QStringLiteral("no-pace")))
        options->pace = args.isSet(QStringLiteral("pace")) ? 1 : 0;
    if (!ok)
        std::fprintf(stderr, "headend-sim: --latency and --reset-time take a number of ms\n");
    return ok;
}

void addOptions(QCommandLineParser& args) {
    args.setApplicationDescription(
        QStringLiteral("Plays a head-end of up to 2 x 16 modules on one serial line."));
    args.addHelpOption();
    args.addOptions({
        {QStringLiteral("pty"), QStringLiteral("Serve on a new pseudo-terminal; prints its path.")},
        {QStringLiteral("device"), QStringLiteral("Serve on a serial device (115200 8E2)."),
         QStringLiteral("path")},
        {QStringLiteral("link"), QStringLiteral("With --pty: keep a symbolic link to it here."),
         QStringLiteral("path")},
        {QStringLiteral("profile"), QStringLiteral("Head-end profile (JSON); default: the demo."),
         QStringLiteral("file")},
        {QStringLiteral("latency"), QStringLiteral("Module turnaround in ms."),
         QStringLiteral("ms")},
        {QStringLiteral("pace"), QStringLiteral("Send at the true line rate (9600 bytes/s).")},
        {QStringLiteral("no-pace"), QStringLiteral("Send replies at once.")},
        {QStringLiteral("reset-time"), QStringLiteral("Silence after a module reset, in ms."),
         QStringLiteral("ms")},
        {QStringLiteral("swap"),
         QStringLiteral("The module at G/S comes back from its next reset as a new one."),
         QStringLiteral("G/S")},
        {QStringLiteral("ignore-writes"),
         QStringLiteral("The module at G/S acknowledges value writes and keeps its values."),
         QStringLiteral("G/S")},
        {QStringLiteral("log"),
         QStringLiteral("Write every command a module takes to the file, one a line: "
                        "time, G/S, bytes in hex."),
         QStringLiteral("file")},
    });
}

// "--swap 1/6" and "--ignore-writes 2/3" (repeatable): faults of the modules named
// subrack/slot as on the front panel; false (with a message) for a name that is none.
bool applyFaults(const QCommandLineParser& args, SimHeadend& headend) {
    for (const char* option : {"swap", "ignore-writes"}) {
        for (const QString& name : args.values(QLatin1String(option))) {
            static const QRegularExpression re(QStringLiteral("^([12])/([1-9]|1[0-6])$"));
            const QRegularExpressionMatch m = re.match(name);
            if (!m.hasMatch()) {
                std::fprintf(stderr, "headend-sim: --%s takes subrack/slot, 1/1 to 2/16\n", option);
                return false;
            }
            const int subrack = m.captured(1).toInt() - 1;
            const int slot = m.captured(2).toInt() - 1;
            SimFaults f = headend.faults(subrack, slot);
            (qstrcmp(option, "swap") == 0 ? f.swapAtReset : f.ignoreWrites) = true;
            headend.setFaults(subrack, slot, f);
        }
    }
    return true;
}

// "--log FILE": "14:03:11.042 1/6 35 00 31 37 0D", flushed as it goes.
bool startLog(const QCommandLineParser& args, SimHeadend& headend, QFile& file) {
    if (!args.isSet(QStringLiteral("log")))
        return true;
    file.setFileName(args.value(QStringLiteral("log")));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        std::fprintf(stderr, "headend-sim: %s: %s\n", qPrintable(file.fileName()),
                     qPrintable(file.errorString()));
        return false;
    }
    headend.setCommandLog([&file](const QString& module, const QByteArray& body) {
        const QString at = QTime::currentTime().toString(QStringLiteral("HH:mm:ss.zzz"));
        file.write((at + QLatin1Char(' ') + module + QLatin1Char(' ')).toLatin1() +
                   body.toHex(' ').toUpper() + '\n');
        file.flush();
    });
    return true;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("headend-sim"));
    QCommandLineParser args;
    addOptions(args);
    args.process(app);
    SimProfile profile;
    SimServerOptions options;
    if (!readOptions(args, &profile, &options))
        return 2;
    QString error;
    auto server = args.isSet(QStringLiteral("pty"))
                      ? SimServer::startPty(profile, &error, options)
                      : SimServer::startDevice(profile, args.value(QStringLiteral("device")),
                                               &error, options);
    if (!server) {
        std::fprintf(stderr, "headend-sim: %s\n", qPrintable(error));
        return 1;
    }
    QFile log;
    if (!applyFaults(args, server->headend()) || !startLog(args, server->headend(), log))
        return 2;
    std::printf("%s\n", qPrintable(server->slavePath()));
    std::fflush(stdout);
    std::fprintf(stderr, "headend-sim: %d modules on %s; Ctrl-C stops\n",
                 int(profile.modules.size()), qPrintable(server->slavePath()));

    // Stop cleanly on Ctrl-C or a kill, so that a --link is not left behind.
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0)
        return 1;
    QSocketNotifier stopper(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&stopper, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    const int rc = app.exec();
    server.reset();
    if (!options.linkPath.isEmpty())
        ::unlink(QFile::encodeName(options.linkPath).constData());
    return rc;
}
