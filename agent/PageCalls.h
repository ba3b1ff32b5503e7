#pragma once

#include <QJsonObject>
#include <QString>

struct HeadendStatus;

// What a web page asks of the agent beside the commands, answered at once from what the agent
// knows (nothing goes to the line):
//   headend.v1 {} answers {"line", "lineUp", "scanned": a scan has been completed,
//     "slots": [{"module": "1/1", "present", "type", "version", "fault"}, ...]} for the 32
//     slots as the agent's last scan and polls saw them, so that a page shows the head-end
//     when it opens and follows it by the module events.
namespace PageCalls {
bool serves(const QString& method);
QJsonObject run(const QString& method, const HeadendStatus& status);
} // namespace PageCalls
