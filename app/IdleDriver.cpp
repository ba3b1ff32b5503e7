#include "app/IdleDriver.h"

#include "link/EventWait.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QThread>

IdleDriver::IdleDriver(std::function<void()> routine, QObject* parent)
    : QObject(parent), m_routine(std::move(routine)) {
    // The dispatcher's own signals cannot tell the driver's posted call from other events:
    // every wake-up, the driver's own included, would look like work and the loop would spin.
    // An application-wide filter sees each event served on this thread.
    QCoreApplication::instance()->installEventFilter(this);
    connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, this,
            [this] {
                if (!m_served || m_pending || !mayRun())
                    return;
                m_pending = true;
                QMetaObject::invokeMethod(this, &IdleDriver::fire, Qt::QueuedConnection);
            });
}

IdleDriver::~IdleDriver() {
    if (QCoreApplication::instance())
        QCoreApplication::instance()->removeEventFilter(this);
}

bool IdleDriver::eventFilter(QObject* watched, QEvent*) {
    if (watched != this)
        m_served = true;
    return false;
}

bool IdleDriver::mayRun() const {
    return !m_running && EventWait::depth() == 0 && QThread::currentThread()->loopLevel() <= 1;
}

void IdleDriver::fire() {
    m_pending = false;
    if (!mayRun())
        return;
    m_served = false;
    m_running = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{m_running};
    m_routine();
}
