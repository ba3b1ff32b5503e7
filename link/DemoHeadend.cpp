#include "link/DemoHeadend.h"

#include <atomic>

namespace DemoHeadend {
namespace {
std::atomic<Starter> g_starter{nullptr};
} // namespace

void setStarter(Starter starter) {
    g_starter = starter;
}

bool available() {
    return g_starter != nullptr;
}

const QString& portName() {
    static const QString name = QStringLiteral("DEMO");
    return name;
}

QString devicePath(QString* error) {
    const Starter start = g_starter;
    QString why;
    const QString path = start ? start(&why) : QString();
    if (path.isEmpty() && error)
        *error = start ? QStringLiteral("DEMO: the demo head-end cannot start (%1)").arg(why)
                       : QStringLiteral("DEMO: this program has no demo head-end");
    return path;
}
} // namespace DemoHeadend
