#include "agent/SitePages.h"

#include "agent/Log.h"
#include "link/HandOver.h"
#include "link/Link.h"
#include "link/Transport.h"
#include "net/LoopbackPeer.h"

#include <QJsonArray>
#include <unistd.h>

namespace {
QString toneName(PageEffects::Tone tone) {
    switch (tone) {
    case PageEffects::Tone::Green:
        return QStringLiteral("green");
    case PageEffects::Tone::Red:
        return QStringLiteral("red");
    default:
        return QStringLiteral("same");
    }
}
} // namespace

SitePages::SitePages(LineBridge& bridge, const QString& lineName, Send send, QObject* parent)
    : QObject(parent), m_loan(bridge, lineName), m_send(std::move(send)) {
    connect(&m_pages, &ModulePages::pageStatus, this,
            [this](const QString& text, PageEffects::Tone tone) {
                notify(QStringLiteral("pages.status.v1"),
                       {{QStringLiteral("text"), text}, {QStringLiteral("tone"), toneName(tone)}});
            });
    connect(&m_pages, &ModulePages::waitBoxOpened, this, [this](int seconds, const QString& text) {
        notify(QStringLiteral("pages.wait.v1"),
               {{QStringLiteral("seconds"), seconds}, {QStringLiteral("text"), text}});
    });
    connect(&m_pages, &ModulePages::waitBoxClosed, this,
            [this] { notify(QStringLiteral("pages.waitEnd.v1"), {}); });
    m_pages.setRefusalHandler(
        [this](const QString& text) {
            notify(QStringLiteral("pages.refusal.v1"), {{QStringLiteral("text"), text}});
        },
        true);
    // The worker's bytes go out from this thread.
    m_pages.setTap([this](char dir, const QByteArray& bytes) {
        HandOver::post(this, [this, dir, bytes] {
            notify(QStringLiteral("bytes.v1"), JsonRpc::bytesNote(dir, bytes));
        });
    });
}

// The worker ends first (a refusal waiting for its reader gives up), then the line goes back.
SitePages::~SitePages() {
    m_pages.close();
}

bool SitePages::serves(const QString& method) {
    return method == QLatin1String("pages.v1") || method == QLatin1String("pages.serve.v1") ||
           method == QLatin1String("pages.read.v1");
}

void SitePages::take(const JsonRpc::Message& m, const QString& user, uid_t uid) {
    if (m.method == QLatin1String("pages.read.v1"))
        return m_pages.refusalRead();
    if (m.method == QLatin1String("pages.serve.v1"))
        return serve(m.id, m.params, uid);
    if (std::exchange(m_asked, true))
        return answerError(m.id, JsonRpc::InvalidRequest,
                           QStringLiteral("this connection has asked for pages already"));
    start(m.id, m.params, user);
}

void SitePages::start(const QJsonValue& id, const QJsonObject& params, const QString& user) {
    const QJsonArray at = params.value(QStringLiteral("select")).toArray();
    const int subrack = at.at(0).toInt(-1), slot = at.at(1).toInt(-1);
    const QByteArray select = Link::selectFrame(subrack, slot);
    int g = 0, s = 0;
    if (at.size() != 2 || !Link::selectedBy(select, &g, &s) || g != subrack || s != slot)
        return answerError(id, JsonRpc::InvalidParams,
                           QStringLiteral("select: [subrack, slot] of a module is wanted"));
    m_loan.ask(
        user,
        [this, id, select](std::unique_ptr<Transport> line) {
            opened(id, std::move(line), select);
        },
        [this, id](int code, const QString& text) { answerError(id, code, text); });
    monitorLog(QStringLiteral("pages: %1 asks for the pages of %2")
                   .arg(user, ModuleAddress{subrack, slot}.name()));
}

void SitePages::opened(const QJsonValue& id, std::unique_ptr<Transport> line,
                       const QByteArray& select) {
    if (!m_pages.open(std::move(line), select))
        return answerError(id, JsonRpc::LineDown, m_pages.errorString());
    m_pages.exchangeWindowSize([this, id](const QByteArray& reply) {
        m_send(
            JsonRpc::result(id, {{QStringLiteral("size"), QString::fromLatin1(reply.toBase64())}}));
    });
}

void SitePages::serve(const QJsonValue& id, const QJsonObject& params, uid_t uid) {
    const int port = params.value(QStringLiteral("port")).toInt(0);
    const int browserPort = params.value(QStringLiteral("browserPort")).toInt(0);
    if (port < 0 || port > 65535 || browserPort < 0 || browserPort > 65535)
        return answerError(id, JsonRpc::InvalidParams,
                           QStringLiteral("port, browserPort: 0 to 65535"));
    m_pages.setBrowserPort(quint16(browserPort));
    // Another user of this box is not let in while the client's pages are open here.
    m_pages.setAdmit([uid](const QTcpSocket& peer) {
        const std::optional<uid_t> whose = loopbackPeerUid(peer);
        return whose && (*whose == uid || *whose == ::geteuid());
    });
    QString error;
    if (!m_pages.isOpen() || !m_pages.startServer(&error, quint16(port)))
        return answerError(
            id, JsonRpc::PagesUnserved,
            QStringLiteral("Can not start server: %1")
                .arg(m_pages.isOpen() ? error : QStringLiteral("no pages asked for")));
    monitorLog(QStringLiteral("pages: served on 127.0.0.1:%1").arg(m_pages.serverPort()));
    m_send(JsonRpc::result(id, {{QStringLiteral("port"), m_pages.serverPort()}}));
}

void SitePages::notify(const QString& method, const QJsonObject& params) {
    m_send(JsonRpc::notification(method, params));
}

void SitePages::answerError(const QJsonValue& id, int code, const QString& text) {
    m_send(JsonRpc::error(id, {code, text}));
}
