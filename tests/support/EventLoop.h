#pragma once

#include <QAbstractEventDispatcher>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <ctime>
#include <functional>

// Runs a real event loop, as the program's main loop does (idle calls included), until
// done() holds or ms have passed; true when done() held. QTest::qWait does not run the
// program's idle step, this does.
inline bool runUntil(const std::function<bool()>& done, int ms = 10000) {
    if (done())
        return true;
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    poll.start(5);
    limit.start(ms);
    loop.exec();
    return done();
}

// Serves events until the program's idle step has had its turn, as between two actions of a
// user: the event queue has been emptied twice (the first posts the idle step, the second
// comes after it).
inline void settle() {
    int emptied = 0;
    const auto counting =
        QObject::connect(QAbstractEventDispatcher::instance(),
                         &QAbstractEventDispatcher::aboutToBlock, [&] { ++emptied; });
    runUntil([&] { return emptied >= 2; });
    QObject::disconnect(counting);
}

// Serves events for ms milliseconds: only where a test shows that something does NOT happen
// meanwhile (a slow machine can then only miss a fault, never invent one).
inline void runFor(int ms) {
    runUntil([] { return false; }, ms);
}

// The share of one core the whole process used while a plain event loop (no polling timer of
// the test's own) ran for ms milliseconds: an idle program sleeps.
inline double cpuShareWhileIdle(int ms) {
    const auto cpuMs = [] {
        timespec t{};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
        return t.tv_sec * 1000.0 + t.tv_nsec / 1e6;
    };
    const double before = cpuMs();
    QElapsedTimer wall;
    wall.start();
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
    return (cpuMs() - before) / double(wall.elapsed());
}
