// orvex-cli: the engine of ORVEX Link from a shell.
#include "cli/CliSession.h"
#include "link/DemoHeadend.h"
#include "sim/SimDemo.h"

#include <QCoreApplication>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("orvex-cli"));
    DemoHeadend::setStarter(SimDemo::terminal);
    return RunCli(QCoreApplication::arguments());
}
