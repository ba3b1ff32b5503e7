#include "app/Places.h"
#include "app/Program.h"
#include "link/DemoHeadend.h"
#include "sim/SimDemo.h"

#include <QApplication>
#include <unistd.h>

int main(int argc, char** argv) {
    const bool dataHome = Places::takeDataHomeSwitch(argc, argv);
    // The module pages' browser shares its drawing context with the windows.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    if (geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1"); // the browser's sandbox refuses root
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ORVEX Link"));
    QApplication::setApplicationVersion(QStringLiteral(ORVEX_VERSION));
    QString error;
    if (dataHome && !Places::enterDataHome(&error))
        qWarning("%s", qPrintable(error)); // the current folder serves then
    DemoHeadend::setStarter(SimDemo::terminal);
    Program::setLook();
    Program program;
    return app.exec();
}
