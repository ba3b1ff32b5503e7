#include "sim/SimDemo.h"

#include "sim/SimServer.h"

#include <QMutex>
#include <memory>

namespace SimDemo {
namespace {
QMutex g_mutex;
std::unique_ptr<SimServer> g_server;
} // namespace

QString terminal(QString* why) {
    QMutexLocker lock(&g_mutex);
    if (!g_server) {
        g_server = SimServer::startPty(demoProfile(), why);
        if (!g_server)
            return {};
        g_server->headend().setWander(true);
    }
    return g_server->slavePath();
}
} // namespace SimDemo
