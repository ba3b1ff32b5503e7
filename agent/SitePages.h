#pragma once

#include "agent/LineLoan.h"
#include "html/ModulePages.h"
#include "link/JsonRpc.h"

#include <QObject>
#include <functional>
#include <sys/types.h>

class LineBridge;

// The module pages one client of the agent's socket asks for, served here beside the line by
// the pages window's engine, on 127.0.0.1 (the client's ssh forwards a port of its own there,
// which the links in the pages name):
//   pages.v1 {"select": [subrack, slot]}: the line, lent by the bridge as line.v1 lends it (one
//     holder at a time, its frames logged with the client's user, the line settled and
//     rescanned after), the module selected and asked for its window;
//     answers {"size": the module's reply to "!G", base64}.
//   pages.serve.v1 {"port": preferred, "browserPort": the port the client's browser uses (0:
//     the server's own)}: the server started; answers {"port"}.
// What serving a page shows goes to the client as it comes: pages.status.v1 {"text", "tone":
// "same"|"green"|"red"}, pages.wait.v1 {"seconds", "text"}, pages.waitEnd.v1, bytes.v1, and
// pages.refusal.v1 {"text"}, whose page is answered once the client says pages.read.v1.
// Only the client's own user (and the agent's) may connect to the server. The pages end when
// the object goes (the client's connection ended), and the line goes back.
class SitePages : public QObject {
    Q_OBJECT
public:
    using Send = std::function<void(const QByteArray& line)>;
    SitePages(LineBridge& bridge, const QString& lineName, Send send, QObject* parent = nullptr);
    ~SitePages() override;

    static bool serves(const QString& method);
    // One of the methods above (pages.read.v1 a notification) from a client known by user/uid.
    void take(const JsonRpc::Message& m, const QString& user, uid_t uid);

private:
    void start(const QJsonValue& id, const QJsonObject& params, const QString& user);
    void opened(const QJsonValue& id, std::unique_ptr<Transport> line, const QByteArray& select);
    void serve(const QJsonValue& id, const QJsonObject& params, uid_t uid);
    void notify(const QString& method, const QJsonObject& params);
    void answerError(const QJsonValue& id, int code, const QString& text);

    LineLoan m_loan;
    Send m_send;
    ModulePages m_pages;  // closed before the loan goes
    bool m_asked = false; // pages.v1 came: the next is refused
};
