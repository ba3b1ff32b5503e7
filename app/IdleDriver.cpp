#include "app/IdleDriver.h"

#include "link/EventWait.h"

#include <QAbstractEventDispatcher>
#include <QThread>

IdleDriver::IdleDriver(std::function<void()> routine, QObject* parent)
    : QObject(parent), m_routine(std::move(routine)) {
    auto* dispatcher = QAbstractEventDispatcher::instance();
    connect(dispatcher, &QAbstractEventDispatcher::awake, this, [this] {
        if (!m_pending)
            m_done = false;
    });
    connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, [this] {
        if (m_pending || m_done || !mayRun())
            return;
        m_pending = true;
        QMetaObject::invokeMethod(this, &IdleDriver::fire, Qt::QueuedConnection);
    });
}

bool IdleDriver::mayRun() const {
    return !m_running && EventWait::depth() == 0 && QThread::currentThread()->loopLevel() <= 1;
}

void IdleDriver::fire() {
    m_pending = false;
    if (!mayRun())
        return;
    m_done = true;
    m_running = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{m_running};
    m_routine();
}
