#include "app/Program.h"

#include <QApplication>
#include <QStyleFactory>
#include <unistd.h>

int main(int argc, char** argv) {
    // The module pages' browser shares its drawing context with the windows.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    if (geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1"); // the browser's sandbox refuses root
    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QApplication::setApplicationName(QStringLiteral("ORVEX Link"));
    QApplication::setApplicationVersion(QStringLiteral(ORVEX_VERSION));
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(11);
    QApplication::setFont(font);
    Program program;
    return app.exec();
}
