#pragma once

#include <QTcpServer>
#include <QTimer>

// A listener that the system refuses a connection (no descriptor left under the process's
// file limit) stops accepting for good; this one tries again after a second.
inline void keepAccepting(QTcpServer& server) {
    QObject::connect(&server, &QTcpServer::acceptError, &server, [&server] {
        QTimer::singleShot(1000, &server, &QTcpServer::resumeAccepting);
    });
}
