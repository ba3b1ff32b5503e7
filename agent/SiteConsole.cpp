#include "agent/SiteConsole.h"

#include "agent/Log.h"
#include "link/ConsoleSession.h"
#include "link/HeadendScan.h"
#include "link/Link.h"
#include "link/Transport.h"
#include "module/ModuleAddress.h"
#include "module/Protocol.h"

SiteConsole::SiteConsole(LineBridge& bridge, const QString& lineName, Send send, QObject* parent)
    : QObject(parent), m_loan(bridge, lineName), m_send(std::move(send)) {
    // Nothing here opens the line by a name: only the lent one.
    m_session.link().ComPort().setPortName(QStringLiteral("lent:") + lineName);
}

SiteConsole::~SiteConsole() {
    if (m_console)
        m_console->close();
}

bool SiteConsole::serves(const QString& method) {
    return method == QLatin1String("console.v1") || method == QLatin1String("console.keys.v1") ||
           method == QLatin1String("console.close.v1");
}

void SiteConsole::take(const JsonRpc::Message& m, const QString& user) {
    if (m.method == QLatin1String("console.keys.v1")) {
        m_keys.feed(m.params.value(QStringLiteral("data")).toString().toUtf8());
        return feed();
    }
    if (m.method == QLatin1String("console.close.v1"))
        return end(QString());
    if (std::exchange(m_busy, true))
        return m_send(
            JsonRpc::error(m.id, {JsonRpc::InvalidRequest,
                                  QStringLiteral("this connection has a console open already")}));
    start(m.id, m.params, user);
}

void SiteConsole::start(const QJsonValue& id, const QJsonObject& params, const QString& user) {
    ModuleAddress at;
    if (!ModuleAddress::parse(params.value(QStringLiteral("module")).toString(), &at))
        return m_send(JsonRpc::error(
            id, {JsonRpc::InvalidParams, QStringLiteral("module: G/S, e.g. 1/9, is wanted")}));
    m_loan.ask(
        user, [this, id, at](std::unique_ptr<Transport> line) { opened(id, at, std::move(line)); },
        [this, id](int code, const QString& text) {
            m_send(JsonRpc::error(id, {code, text}));
        });
    monitorLog(QStringLiteral("console: %1 asks for the console of %2").arg(user, at.name()));
}

void SiteConsole::opened(const QJsonValue& id, const ModuleAddress& at,
                         std::unique_ptr<Transport> line) {
    const auto refuse = [&](const QString& text) {
        m_session.link().closePort(); // the line goes back
        m_busy = false;
        m_send(JsonRpc::error(id, {JsonRpc::InvalidParams, text}));
    };
    m_console.reset(); // one that ended before
    m_ended = false;
    try {
        QuietScanView view;
        m_session.state().CurSubrack = at.subrack;
        if (!m_session.link().ComPort().open(std::move(line)))
            return refuse(m_session.link().ComPort().errorString());
        if (!m_session.probe(at, view))
            return refuse(QStringLiteral("No module answers at %1.").arg(at.name()));
        const TModule& m = *m_session.modules().at(at.slot, at.subrack);
        if (!m.hasConsole())
            return refuse(
                QStringLiteral("Module %1 (%2) has no console.").arg(at.name(), m.TypeName));
        m_console = std::make_unique<ConsoleSession>(m_session.link(), m_session.state(), m_host);
        connect(m_console.get(), &ConsoleSession::text, this, [this](const QByteArray& t) {
            // EOT ends the console: the module's word to us, not for the screen.
            const qsizetype eot = t.indexOf(Ascii::EOT);
            if (const QByteArray shown = eot < 0 ? t : t.first(eot); !shown.isEmpty())
                m_send(JsonRpc::notification(
                    QStringLiteral("console.text.v1"),
                    {{QStringLiteral("data"), QString::fromLatin1(shown.toBase64())}}));
        });
        connect(m_console.get(), &ConsoleSession::keySent, this, &SiteConsole::feed);
        connect(m_console.get(), &ConsoleSession::ended, this, [this] { end(QString()); });
        connect(m_console.get(), &ConsoleSession::lost, this,
                [this](const QString& reason) { end(Link::lostText(reason)); });
        m_console->open();
        m_send(JsonRpc::result(
            id, {{QStringLiteral("module"), at.name()}, {QStringLiteral("type"), m.TypeName}}));
    } catch (const PortError& e) {
        refuse(e.text());
    }
}

// Keys go into the console's ring while it has room; the rest wait here, in order.
void SiteConsole::feed() {
    quint16 key = 0;
    while (m_console && m_console->isOpen() && m_console->keys().pending() < ConsoleKeys::Size &&
           m_keys.next(&key, true))
        m_console->type(key);
    if (m_keys.endRequested())
        end(QString());
}

void SiteConsole::end(const QString& reason) {
    if (!m_console || std::exchange(m_ended, true))
        return;
    m_console->close(); // nothing when the line went
    m_session.link().closePort();
    m_busy = false;
    m_send(JsonRpc::notification(QStringLiteral("console.end.v1"),
                                 {{QStringLiteral("reason"), reason}}));
}
