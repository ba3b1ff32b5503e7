#include "link/EventWait.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

namespace EventWait {

namespace {
thread_local int g_depth = 0;
}

Scope::Scope() {
    ++g_depth;
}
Scope::~Scope() {
    --g_depth;
}

int depth() {
    return g_depth;
}

bool until(const std::function<bool()>& done, QDeadlineTimer deadline) {
    Scope scope;
    // A timer wakes the blocking dispatch when the deadline passes.
    QTimer wake;
    wake.setSingleShot(true);
    wake.setTimerType(Qt::PreciseTimer);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        if (!deadline.isForever() && !wake.isActive())
            wake.start(std::max<qint64>(1, deadline.remainingTime()));
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

void pause(int ms) {
    until([] { return false; }, QDeadlineTimer(ms));
}

} // namespace EventWait
