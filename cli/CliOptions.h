#pragma once

#include "module/ModuleAddress.h"

#include <QString>
#include <QStringList>

// The exit statuses of orvex-cli.
enum CliStatus {
    StatusDone = 0,         // done
    StatusModuleErrors = 1, // done, but a module refused, failed or is missing (" Errors found")
    StatusUsage = 2,        // the command line is wrong
    StatusUnusable = 3,     // the port, the trace file or a settings file cannot be used
};

// The command line: global options, the command and its arguments.
struct CliOptions {
    QString port;          // --port; empty: the port of "OXLCom.ini", else COM1
    int scanTimeout = 0;   // --scan-timeout in ms; 0: the default
    QString trace;         // --trace FILE
    bool json = false;     // --json
    bool verify = false;   // --verify: load-config and load-module compare after loading
    bool images = false;   // --images: diff reads and compares EEPROM images
    bool noImages = false; // --no-images: backup reads no EEPROM image
    bool help = false;     // --help, -h
    bool version = false;
    QString command;
    QStringList args;
    bool hasShown = false; // set: --shown X
    QString shown;
    int listen = 0; // pages: --listen PORT; 0: the server chooses

    // Parses the arguments (without the program name). On a usage error returns false with
    // the problem in *error.
    static bool parse(const QStringList& arguments, CliOptions* out, QString* error);
    // The command, its arguments and the options that go with it (not the line's: --port,
    // --scan-timeout, --trace) as words that parse() reads back.
    QStringList commandWords() const;
    // What an argument of the command names: a file it reads or writes, the folder of its
    // backups, or neither (a module, an index, a value).
    enum class Argument { Other, File, Folder };
    Argument argument(qsizetype index) const;
};

// The help text of orvex-cli.
QString CliUsage();
