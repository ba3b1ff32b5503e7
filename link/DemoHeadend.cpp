#include "link/DemoHeadend.h"

#include "sim/SimServer.h"

#include <QMutex>
#include <memory>

namespace DemoHeadend {
namespace {
QMutex g_mutex;
std::unique_ptr<SimServer> g_server;
} // namespace

const QString& portName() {
    static const QString name = QStringLiteral("DEMO");
    return name;
}

QString devicePath(QString* error) {
    QMutexLocker lock(&g_mutex);
    if (!g_server) {
        QString why;
        g_server = SimServer::startPty(demoProfile(), &why);
        if (!g_server) {
            if (error)
                *error = QStringLiteral("DEMO: the demo head-end cannot start (%1)").arg(why);
            return {};
        }
        // Its measured values move a little, as a real head-end's do.
        g_server->headend().setWander(true);
    }
    return g_server->slavePath();
}
} // namespace DemoHeadend
