#pragma once

#include <QEventLoop>
#include <QTimer>
#include <functional>

// Runs a real event loop, as the program's main loop does (idle calls included), until
// done() holds or ms have passed; true when done() held. QTest::qWait does not run the
// program's idle step, this does.
inline bool runUntil(const std::function<bool()>& done, int ms = 5000) {
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

inline void runFor(int ms) {
    runUntil([] { return false; }, ms);
}
