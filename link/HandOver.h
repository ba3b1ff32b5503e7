#pragma once

#include <QMetaObject>
#include <QObject>
#include <mutex>
#include <utility>

// A call handed to the event loop of another thread (or queued on its own). Qt's event queue
// orders the posting before the call, but Qt's library is not built for the thread checks
// (ThreadSanitizer, scripts/threads.sh), which then cannot see that order and take whatever the
// call carries for a race. The hand-over lock shows it: held while the call is posted and
// taken once more before it runs. Never held while anything else waits.
namespace HandOver {

inline std::mutex& lock() {
    static std::mutex m;
    return m;
}

template <typename F> void post(QObject* context, F&& f) {
    std::lock_guard posting(lock());
    QMetaObject::invokeMethod(
        context,
        [f = std::forward<F>(f)]() mutable {
            { std::lock_guard taken(lock()); }
            f();
        },
        Qt::QueuedConnection);
}

} // namespace HandOver
