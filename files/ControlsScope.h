#pragma once

#include "link/LinkHost.h"

// The main window's controls stay disabled while a file operation runs, and come back with
// the progress indication hidden however the operation ends (an error of the port included).
class ControlsScope {
public:
    explicit ControlsScope(LinkHost& host) : m_host(host) { m_host.EnableControls(false); }
    ~ControlsScope() {
        m_host.progress(0, 0);
        m_host.EnableControls(true);
    }
    ControlsScope(const ControlsScope&) = delete;
    ControlsScope& operator=(const ControlsScope&) = delete;

private:
    LinkHost& m_host;
};
