#pragma once

#include "link/JsonRpc.h"

#include <QJsonObject>
#include <functional>
#include <optional>

class HeadendSession;
class LinkHost;

// The session's own operations for a remote session (the windows on an agent's port): they run
// on the agent's session as they would on the client's, and what they show and say on the way
// goes to the client as it comes, to be shown there by the same calls:
//   view.v1 {"call": "page"|"lamp"|"empty"|"found"|"missing", "subrack", "slot",
//            "record" (the module record, ModuleJson), "text"}
//   host.v1 {"call": "status"|"message"|"progress", "text", "error", "value", "max"}
//   bytes.v1 {"dir": ">"|"<"|"#", "data": base64}: what went to the line, what came, a note
// session.scan.v1 {"expected": [[subrack, slot], ...], "module": word, "group": word}
//   answers {"found", "subrack2Visible", "curSlot"}.
// session.save.v1 {"file": the client's path, "module": [subrack, slot] (none: the head-end's
//   configuration), "earlier": the file there now, base64}
//   answers {"status", "notBack", "file": the name saved under, "data": its bytes, base64}.
// session.load.v1 {"file", "data": base64, "moduleFile", "at": [subrack, slot] (a module
//   file's module), "only": [[subrack, slot], ...]}
//   answers {"status", "notBack", "written", "images"}.
// status: 0 done, 1 done with module errors, 3 failed (orvex-cli's exit statuses).
namespace SessionCalls {
using Notify = std::function<void(const QString& method, const QJsonObject& params)>;
bool serves(const QString& method);
// The change a call makes, as the log names it; empty for one that changes nothing.
QString change(const QString& method, const QJsonObject& params);
// Runs the call; the answer's result, or the error to answer with. stopped(): the client left.
// lend(host) gives the session's words to the call's host.
JsonRpc::Message run(const QString& method, const QJsonObject& params, HeadendSession& session,
                     const Notify& notify, const std::function<bool()>& stopped,
                     const std::function<void(LinkHost*)>& lend);
} // namespace SessionCalls
