#pragma once

#include <QByteArray>

struct HeadendStatus;

// The monitor's small HTML page: both subracks, slot by slot, each module's type in green when
// its diagnostic bytes are clear and in red otherwise (as the main window shows them), "-" for
// an empty slot, the texts of the set diagnostic bits, and the state of the line. It reloads
// itself every refreshSeconds.
namespace StatusPage {
QByteArray render(const HeadendStatus& status, int refreshSeconds);
}
