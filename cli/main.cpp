// orvex-cli: the engine of ORVEX Link from a shell.
#include "cli/CliSession.h"

#include <QCoreApplication>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("orvex-cli"));
    return RunCli(QCoreApplication::arguments());
}
