#pragma once

#include "link/JsonRpc.h"

#include <QJsonObject>
#include <QString>

class HeadendSession;
class MeasuredTrends;
struct HeadendStatus;

// What a web page asks of the agent beside the commands.
//   headend.v1 {} answers at once from what the agent knows, nothing going to the line:
//     {"line", "lineUp", "scanned": a scan has been completed, "slots": [{"module": "1/1",
//     "present", "type", "version", "fault"}, ...]}, the 32 slots as the agent's last scan
//     and polls saw them, so that a page shows the head-end when it opens and follows it by
//     the module events.
// The panel's spin box, which no command does (set commits at once), on the line in turn:
//   step.v1 {"module", "index", "up"}: the number one step up or down as the record's StepUp
//     and StepDown take it, written at once and not committed; answers {"written", "param":
//     the parameter as show --json describes it}.
//   commit.v1 {"module"}: the module's EEPROM commit, which the page asks for 500 ms after
//     the last step; answers {"committed"}.
// Both work on the module's record of its last show or scan; the log names them "write 1/1
// parameter 5 = 31" and "commit 1/1".
// An open panel's live values, no change (nothing is logged):
//   measured.v1 {"module", "read": true}: the module's measured values read again (unless
//     "read" is false: the record's as they are); answers {"read": the module's reply came,
//     "changed": the parameters whose value changed, "params": the measured parameters as show
//     --json describes them, each number with its "trend" of the last 30 minutes as
//     MeasuredTrends::json gives it, once one is kept}.
namespace PageCalls {
bool answersAtOnce(const QString& method);
QJsonObject atOnce(const QString& method, const HeadendStatus& status);

bool usesLine(const QString& method);
// The answer, and in *change the change made as the log names it (empty: none).
JsonRpc::Message onLine(const QString& method, const QJsonObject& params, HeadendSession& session,
                        MeasuredTrends& trends, QString* change);
} // namespace PageCalls
