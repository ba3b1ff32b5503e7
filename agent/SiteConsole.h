#pragma once

#include "agent/LineLoan.h"
#include "cli/KeyInput.h"
#include "link/JsonRpc.h"
#include "link/LinkHost.h"
#include "session/HeadendSession.h"

#include <QObject>
#include <functional>
#include <memory>

class ConsoleSession;
struct ModuleAddress;

// The console of a console module for a client of the agent's socket that cannot work the
// line itself (a web page), run here with the terminal's engine on the line lent as for the
// pages (the bridge's rules; a console left open is ended when the line goes back):
//   console.v1 {"module": "G/S"}: the module probed and its console opened; answers
//     {"module", "type"}.
//   console.keys.v1 {"data": text as a terminal sends it} (a notification): keys, cursor keys
//     as their escape sequences; each goes when the module asks for one (one per SYN), in
//     order, however many come.
//   console.close.v1 (a notification): the console closed, the line given back.
// What the module shows comes as console.text.v1 {"data": base64}; its end as console.end.v1
// {"reason": empty when the module ended it, else why the line went}. The console also ends
// with the client's connection.
class SiteConsole : public QObject {
    Q_OBJECT
public:
    using Send = std::function<void(const QByteArray& line)>;
    SiteConsole(LineBridge& bridge, const QString& lineName, Send send, QObject* parent = nullptr);
    ~SiteConsole() override;

    static bool serves(const QString& method);
    void take(const JsonRpc::Message& m, const QString& user);

private:
    void start(const QJsonValue& id, const QJsonObject& params, const QString& user);
    void opened(const QJsonValue& id, const ModuleAddress& at, std::unique_ptr<Transport> line);
    void feed();
    void end(const QString& reason);

    LineLoan m_loan;
    Send m_send;
    QuietHost m_host;
    HeadendSession m_session{m_host};
    std::unique_ptr<ConsoleSession> m_console;
    KeyDecoder m_keys;
    bool m_busy = false; // a console asked for or open
    bool m_ended = false;
};
