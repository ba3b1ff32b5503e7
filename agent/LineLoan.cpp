#include "agent/LineLoan.h"

#include "agent/LineBridge.h"
#include "link/JsonRpc.h"
#include "link/Transport.h"

#include <QLocalSocket>
#include <QPointer>
#include <QTimer>
#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <unistd.h>

LineLoan::LineLoan(LineBridge& bridge, const QString& lineName, QObject* parent)
    : QObject(parent), m_bridge(bridge), m_lineName(lineName) {}

// The bridge sees its end close and takes the line back.
LineLoan::~LineLoan() {
    if (m_waiting >= 0)
        ::close(m_waiting);
}

void LineLoan::ask(const QString& user, Granted granted, Refused refused) {
    m_granted = std::move(granted);
    m_refused = std::move(refused);
    tryNow(user, false);
}

void LineLoan::tryNow(const QString& user, bool waited) {
    if (const QString who = m_bridge.inUseBy(); !who.isEmpty()) {
        if (waited)
            return m_refused(JsonRpc::LineInUse, QStringLiteral("%1: %2").arg(
                                                     QLatin1String(Transport::InUseText), who));
        // Asked again once the line is free, or refused after a moment.
        auto* again = new QTimer(this);
        again->setSingleShot(true);
        const auto retry = [this, again, user, done = std::make_shared<bool>()] {
            if (std::exchange(*done, true))
                return;
            again->deleteLater();
            tryNow(user, true);
        };
        connect(again, &QTimer::timeout, this, retry);
        connect(&m_bridge, &LineBridge::freed, again, retry);
        again->start(LineBridge::InUseGraceMs);
        return;
    }
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0)
        return m_refused(JsonRpc::LineDown, QString::fromLocal8Bit(std::strerror(errno)));
    // The bridge's end: it passes the bytes of this end as a client's.
    auto* end = new QLocalSocket;
    end->setSocketDescriptor(pair[0]);
    m_waiting = pair[1];
    m_bridge.lend(end, user, [self = QPointer<LineLoan>(this)](const QString& refusal) {
        if (!self)
            return;
        if (!refusal.isEmpty()) {
            ::close(std::exchange(self->m_waiting, -1));
            return self->m_refused(JsonRpc::LineDown,
                                   QStringLiteral("the line cannot be opened: %1").arg(refusal));
        }
        // Not within the bridge's own call: the part may wait for its module.
        QTimer::singleShot(0, self, [self] {
            self->m_granted(
                Transport::overSocket(std::exchange(self->m_waiting, -1), self->m_lineName));
        });
    });
}
