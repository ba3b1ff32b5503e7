#pragma once

#include <QCoreApplication>
#include <QString>
#include <cstdio>

// The agent's log: one line per event on stderr (the journal under systemd).
inline void monitorLog(const QString& text) {
    std::fprintf(stderr, "%s: %s\n", qUtf8Printable(QCoreApplication::applicationName()),
                 qUtf8Printable(text));
    std::fflush(stderr);
}
