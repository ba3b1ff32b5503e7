#include "agent/PageCalls.h"

#include "agent/HeadendStatus.h"
#include "module/ModuleAddress.h"

#include <QJsonArray>

bool PageCalls::serves(const QString& method) {
    return method == QLatin1String("headend.v1");
}

QJsonObject PageCalls::run(const QString&, const HeadendStatus& status) {
    QJsonArray list;
    for (int g = 0; g < HeadendStatus::Subracks; ++g)
        for (int s = 0; s < HeadendStatus::Slots; ++s) {
            const SlotStatus& m = status.at(g, s);
            list.append(QJsonObject{{"module", ModuleAddress{g, s}.name()},
                                    {"present", m.present},
                                    {"type", m.present ? m.type : QString()},
                                    {"version", m.present ? m.version : QString()},
                                    {"fault", m.present && m.fault}});
        }
    return {{"line", status.port},
            {"lineUp", status.lineUp},
            {"scanned", status.pollCycles > 0},
            {"slots", list}};
}
