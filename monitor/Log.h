#pragma once

#include <QString>
#include <cstdio>

// The monitor's log: one line per event on stderr (the journal under systemd).
inline void monitorLog(const QString& text) {
    std::fprintf(stderr, "orvex-monitor: %s\n", qUtf8Printable(text));
    std::fflush(stderr);
}
