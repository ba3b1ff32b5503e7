#pragma once

#include "link/JsonRpc.h"

#include <QJsonObject>
#include <functional>

class HeadendSession;
class ScanView;

// One of the session's operations run by the site agent behind the port (agent: and ssh://):
// this program's hold on the agent's line ends for it, one request goes, and what the agent's
// session shows and says on the way (view.v1, host.v1, bytes.v1) is shown here by the same
// calls as on this program's line. Throws PortError when the agent cannot be reached or the
// answer does not come; an error answer is returned.
JsonRpc::Message callAgent(HeadendSession& session, const QString& method,
                           const QJsonObject& params, ScanView* view = nullptr);
