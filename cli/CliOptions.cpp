#include "cli/CliOptions.h"

#include <QMap>
#include <QRegularExpression>

namespace {

// What each command takes: its positional arguments and which of them is a module.
struct CommandShape {
    QStringList args; // names for the usage line
    bool moduleFirst = false;
    bool json = false; // takes --json
};

const QMap<QString, CommandShape>& commands() {
    static const QMap<QString, CommandShape> shapes = {
        {QStringLiteral("ports"), {{}, false, true}},
        {QStringLiteral("scan"), {{}, false, true}},
        {QStringLiteral("show"), {{QStringLiteral("G/S")}, true, true}},
        {QStringLiteral("set"),
         {{QStringLiteral("G/S"), QStringLiteral("INDEX"), QStringLiteral("VALUE")}, true, false}},
        {QStringLiteral("diag"), {{QStringLiteral("G/S")}, true, true}},
        {QStringLiteral("reset"), {{QStringLiteral("G/S")}, true, false}},
        {QStringLiteral("defaults"), {{QStringLiteral("G/S")}, true, false}},
        {QStringLiteral("terminal"), {{QStringLiteral("G/S")}, true}},
        {QStringLiteral("save-module"), {{QStringLiteral("G/S"), QStringLiteral("FILE")}, true}},
        {QStringLiteral("load-module"), {{QStringLiteral("G/S"), QStringLiteral("FILE")}, true}},
        {QStringLiteral("save-config"), {{QStringLiteral("FILE")}, false}},
        {QStringLiteral("load-config"), {{QStringLiteral("FILE")}, false}},
        {QStringLiteral("pages"), {{QStringLiteral("G/S")}, true}},
        {QStringLiteral("diff"), {{QStringLiteral("FILE")}, false, true}},
        {QStringLiteral("backup"), {{QStringLiteral("DIR")}, false}},
    };
    return shapes;
}

bool looksLikeNumber(const QString& t) {
    static const QRegularExpression number(QStringLiteral("^-[0-9.,]+([eE][-+]?[0-9]+)?$"));
    return number.match(t).hasMatch();
}

bool positiveInt(const QString& text, int max, int* out) {
    bool ok = false;
    const int v = text.toInt(&ok);
    if (!ok || v <= 0 || v > max)
        return false;
    *out = v;
    return true;
}

// The value of an option that takes one.
bool assignValue(const QString& name, const QString& value, CliOptions* o, QString* error) {
    if (value.isEmpty()) {
        *error = QStringLiteral("--%1 needs a value").arg(name);
        return false;
    }
    if (name == QLatin1String("port")) {
        o->port = value;
    } else if (name == QLatin1String("trace")) {
        o->trace = value;
    } else if (name == QLatin1String("shown")) {
        o->hasShown = true;
        o->shown = value;
    } else if (name == QLatin1String("scan-timeout")) {
        if (!positiveInt(value, 60000, &o->scanTimeout)) {
            *error = QStringLiteral("--scan-timeout takes milliseconds, 1 to 60000, not '%1'")
                         .arg(value);
            return false;
        }
    } else if (!positiveInt(value, 65535, &o->listen)) {
        *error = QStringLiteral("--listen takes a TCP port, 1 to 65535, not '%1'").arg(value);
        return false;
    }
    return true;
}

// One "--name[=value]" option; i is moved past a value taken from the next argument.
bool takeOption(const QStringList& a, int& i, CliOptions* o, QString* error) {
    QString name = a[i].mid(2);
    QString value;
    const qsizetype eq = name.indexOf(QLatin1Char('='));
    const bool inline_ = eq >= 0;
    if (inline_) {
        value = name.mid(eq + 1);
        name = name.left(eq);
    }
    static const QMap<QString, bool CliOptions::*> flags = {
        {QStringLiteral("json"), &CliOptions::json},
        {QStringLiteral("help"), &CliOptions::help},
        {QStringLiteral("version"), &CliOptions::version},
        {QStringLiteral("verify"), &CliOptions::verify},
        {QStringLiteral("images"), &CliOptions::images},
        {QStringLiteral("no-images"), &CliOptions::noImages}};
    static const QStringList valued = {QStringLiteral("port"), QStringLiteral("scan-timeout"),
                                       QStringLiteral("trace"), QStringLiteral("shown"),
                                       QStringLiteral("listen")};
    if (flags.contains(name)) {
        if (inline_) {
            *error = QStringLiteral("--%1 takes no value").arg(name);
            return false;
        }
        o->*flags.value(name) = true;
        return true;
    }
    if (!valued.contains(name)) {
        *error = QStringLiteral("unknown option --%1").arg(name);
        return false;
    }
    if (!inline_) {
        if (i + 1 >= a.size()) {
            *error = QStringLiteral("--%1 needs a value").arg(name);
            return false;
        }
        value = a[++i];
    }
    return assignValue(name, value, o, error);
}

// The arguments a command takes, or the text that says so.
QString argumentError(const CliOptions& o, const CommandShape& shape) {
    qsizetype wanted = shape.args.size();
    const bool set = o.command == QLatin1String("set");
    const bool diff = o.command == QLatin1String("diff");
    if (set && o.hasShown)
        wanted = 2;
    if (diff && o.args.size() == 2)
        wanted = 2; // G/S FILE, or two files
    if (o.args.size() != wanted) {
        QStringList names = shape.args.mid(0, wanted);
        if (set)
            names = {QStringLiteral("G/S INDEX VALUE | G/S INDEX --shown X")};
        if (diff)
            names = {QStringLiteral("FILE | G/S FILE | FILE FILE")};
        return QStringLiteral("%1 takes %2")
            .arg(o.command, names.isEmpty() ? QStringLiteral("no arguments") : names.join(' '));
    }
    ModuleAddress unused;
    if (shape.moduleFirst && !ModuleAddress::parse(o.args.first(), &unused))
        return QStringLiteral("'%1' names no module: write subrack/slot, 1/1 to 2/16")
            .arg(o.args.first());
    return {};
}

// Options that go with some commands only.
QString scopeError(const CliOptions& o, const CommandShape& shape) {
    const QString& c = o.command;
    const struct {
        bool set;
        bool allowed;
        const char* text;
    } scopes[] = {
        {o.json, shape.json, "--json goes with ports, scan, show, diag and diff"},
        {o.verify, c.startsWith(QLatin1String("load-")),
         "--verify goes with load-config and load-module"},
        {o.images, c == QLatin1String("diff"), "--images goes with diff"},
        {o.noImages, c == QLatin1String("backup"), "--no-images goes with backup"},
        {o.hasShown, c == QLatin1String("set"), "--shown goes with set"},
        {o.listen != 0, c == QLatin1String("pages"), "--listen goes with pages"},
    };
    for (const auto& scope : scopes)
        if (scope.set && !scope.allowed)
            return QString::fromLatin1(scope.text);
    return {};
}

bool checkCommand(CliOptions* o, QString* error) {
    const auto it = commands().constFind(o->command);
    if (it == commands().constEnd()) {
        *error = QStringLiteral("unknown command '%1'").arg(o->command);
        return false;
    }
    *error = argumentError(*o, *it);
    if (error->isEmpty())
        *error = scopeError(*o, *it);
    return error->isEmpty();
}

} // namespace

bool CliOptions::parse(const QStringList& a, CliOptions* o, QString* error) {
    bool positionalOnly = false;
    for (int i = 0; i < a.size(); ++i) {
        const QString& t = a[i];
        if (!positionalOnly && t == QLatin1String("--")) {
            positionalOnly = true;
        } else if (!positionalOnly && t.startsWith(QLatin1String("--"))) {
            if (!takeOption(a, i, o, error))
                return false;
        } else if (!positionalOnly && t == QLatin1String("-h")) {
            o->help = true;
        } else if (!positionalOnly && t.startsWith('-') && t.size() > 1 && !looksLikeNumber(t)) {
            *error = QStringLiteral("unknown option %1").arg(t);
            return false;
        } else if (o->command.isEmpty()) {
            o->command = t;
        } else {
            o->args << t;
        }
    }
    if (o->help || o->version)
        return true;
    if (o->command.isEmpty()) {
        *error = QStringLiteral("no command given");
        return false;
    }
    return checkCommand(o, error);
}

CliOptions::Argument CliOptions::argument(qsizetype index) const {
    ModuleAddress unused;
    if (command == QLatin1String("backup"))
        return Argument::Folder;
    const bool files = command.startsWith(QLatin1String("save-")) ||
                       command.startsWith(QLatin1String("load-")) ||
                       command == QLatin1String("diff");
    return files && !ModuleAddress::parse(args.value(index), &unused) ? Argument::File
                                                                      : Argument::Other;
}

QStringList CliOptions::commandWords() const {
    QStringList words;
    const std::pair<bool, const char*> flags[] = {
        {json, "--json"}, {verify, "--verify"}, {images, "--images"}, {noImages, "--no-images"}};
    for (const auto& [set, word] : flags)
        if (set)
            words << QString::fromLatin1(word);
    if (hasShown)
        words << QStringLiteral("--shown") << shown;
    if (listen != 0)
        words << QStringLiteral("--listen") << QString::number(listen);
    return words << QStringLiteral("--") << command << args;
}

QString CliUsage() {
    return QStringLiteral(
        "Usage: orvex-cli [--port NAME] [--scan-timeout MS] [--trace FILE] [--json] COMMAND ...\n"
        "\n"
        "Modules are named subrack/slot as the program shows them: 1/1 ... 2/16.\n"
        "\n"
        "Commands:\n"
        "  ports                      the serial ports of this PC (name, adapter, maker,\n"
        "                             serial number, /dev/serial/by-id name), and DEMO\n"
        "  scan                       scan both subracks: one line per slot\n"
        "  show G/S                   the module's record and every parameter\n"
        "  set G/S INDEX VALUE        write a raw value and commit it\n"
        "  set G/S INDEX --shown X    write a value as the panel shows it (47.5, Off, ...)\n"
        "  diag G/S                   the module's diagnostic report\n"
        "  reset G/S                  reset the module\n"
        "  defaults G/S               load the module's default values\n"
        "  save-module G/S FILE       save the module's settings (*.mst)\n"
        "  load-module G/S FILE       load module settings into the module\n"
        "  save-config FILE           scan, then save the head-end's configuration (*.mmh)\n"
        "                             (both saves restart image modules, see below)\n"
        "  load-config FILE           scan, then load a head-end configuration\n"
        "  diff FILE                  what differs between the head-end and a configuration\n"
        "  diff G/S FILE              ... between the module and a module settings file\n"
        "                             (or its block of a configuration file)\n"
        "  diff FILE FILE             ... between two files (named by the head-end with --port)\n"
        "  backup DIR                 save the head-end into DIR/headend-DATE-TIME.mmh when it\n"
        "                             differs from the newest backup there; print what differs\n"
        "                             (restarts image modules; see --no-images)\n"
        "  terminal G/S               the module's console; Ctrl-] or the module ends it\n"
        "  pages G/S [--listen PORT]  the module's HTML pages for any browser, until Ctrl-C;\n"
        "                             from another PC: --listen 8870 here, then\n"
        "                             ssh -L 8870:127.0.0.1:8870 THIS-HOST there and open\n"
        "                             http://localhost:8870/ (the same port at both ends\n"
        "                             keeps the module's own links working)\n"
        "\n"
        "Options:\n"
        "  --port NAME        serial port (ttyUSB0, /dev/ttyS0, /dev/serial/by-id/..., COM1,\n"
        "                     DEMO), a terminal server's (tcp://HOST:PORT,\n"
        "                     rfc2217://HOST:PORT) or a site agent's: ssh://[USER@]HOST[:PORT]\n"
        "                     [/LINE] (your ssh; ORVEX_SSH_COMMAND replaces it) or\n"
        "                     agent:SOCKET; default: the port of OXLCom.ini in the current\n"
        "                     directory, else COM1\n"
        "  --scan-timeout MS  the configured scan time-out (default 50)\n"
        "  --trace FILE       write every byte on the line to FILE, one frame a line\n"
        "  --json             machine-readable output (ports, scan, show, diag, diff)\n"
        "  --verify           load-config, load-module: read back the modules the load wrote\n"
        "                     to and compare\n"
        "  --images           diff: compare EEPROM images too\n"
        "  --no-images        backup: read no EEPROM image; an image module's block takes the\n"
        "                     image of the newest backup when that holds one for the same\n"
        "                     module type and firmware, else it names the module only (a load\n"
        "                     then checks the module and writes nothing to it)\n"
        "\n"
        "Image modules (kind T or U) keep an EEPROM image that only their special mode reads,\n"
        "and that read ends with a reset: the module restarts and its service drops for a\n"
        "moment. save-module, save-config and backup read the images of the modules they\n"
        "save (backup --no-images reads none); diff reads them only with --images, after\n"
        "naming the modules; load --verify reads back only an image the load wrote. reset\n"
        "and the loads restart the modules they name or write to. Every command waits until\n"
        "a module it restarted answers again.\n"
        "\n"
        "Exit status: 0 done; 1 done with module errors (a module missing, faulty or\n"
        "refusing, \" Errors found\", a verified load not held, diff: a difference);\n"
        "2 usage; 3 the port or a file cannot be used.\n");
}
