#include "link/DemoHeadend.h"

namespace DemoHeadend {
QString devicePath(QString* error) {
    if (error)
        *error = QStringLiteral("DEMO: the demo head-end is not available in this build");
    return {};
}
} // namespace DemoHeadend
