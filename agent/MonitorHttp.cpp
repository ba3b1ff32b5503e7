#include "agent/MonitorHttp.h"

#include "agent/HeadendMonitor.h"
#include "agent/Listening.h"
#include "agent/Metrics.h"
#include "agent/StatusPage.h"

#include <QHttpServerRequest>
#include <QTcpSocket>
#include <algorithm>
#include <memory>
#include <sys/ioctl.h>
#include <sys/resource.h>

using Method = QHttpServerRequest::Method;

namespace {
// Closes at once; a readyRead still on its way (the server hands back each request's rest
// with another one) finds nobody to read a closed socket.
void drop(QTcpSocket* socket) {
    QObject::disconnect(socket, &QTcpSocket::readyRead, nullptr, nullptr);
    socket->abort();
}

// The request gate for every connection (no request of the monitor has a body),
// at most MaxConnections of them at a time, and never so many that the process would run out
// of descriptors under a low file limit: half of what it leaves above 32 for the rest.
class CappedListener : public GatedListener {
public:
    CappedListener() : GatedListener(0) {
        rlimit files{};
        if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < rlim_t(32 + 2 * m_cap))
            m_cap = std::max(4, int(files.rlim_cur - 32) / 2);
    }

protected:
    void incomingConnection(qintptr descriptor) override {
        QList<QTcpSocket*> open;
        for (QTcpSocket* s : findChildren<QTcpSocket*>(QString(), Qt::FindDirectChildrenOnly))
            if (s->state() == QAbstractSocket::ConnectedState)
                open << s;
        // Room is made by the oldest that has said nothing yet (a request may be waiting in
        // the system for one accepted in the same burst), else by the oldest.
        while (open.size() >= m_cap) {
            const auto quiet = std::find_if(open.begin(), open.end(), saysNothing);
            QTcpSocket* room = quiet != open.end() ? *quiet : open.first();
            open.removeOne(room);
            drop(room);
        }
        GatedListener::incomingConnection(descriptor);
    }

private:
    int m_cap = MonitorHttp::MaxConnections;

    static bool saysNothing(const QTcpSocket* s) {
        int waiting = 0;
        ::ioctl(int(s->socketDescriptor()), FIONREAD, &waiting);
        return s->bytesAvailable() == 0 && waiting == 0;
    }
};

} // namespace

MonitorHttp::MonitorHttp(const HeadendMonitor& monitor, int refreshSeconds, QObject* parent)
    : GatedHttpServer(false, parent), m_monitor(monitor), m_refreshSeconds(refreshSeconds) {}

bool MonitorHttp::listen(const QHostAddress& address, quint16 port, QString* error) {
    if (!GatedHttpServer::listen(std::make_unique<CappedListener>(), address, {port}, error))
        return false;
    keepAccepting(*listener());
    return true;
}

void MonitorHttp::serve(const QHttpServerRequest& request, std::unique_ptr<Exchange> exchange) {
    // Requests sent one after another without reading the answers would pile them up here.
    if (exchange->socket->bytesToWrite() > MaxUnsentBytes) {
        drop(exchange->socket);
        return;
    }
    reply(*exchange, answer(request));
}

HttpResponse MonitorHttp::answer(const QHttpServerRequest& request) const {
    const QString path = request.url().path();
    HttpResponse document;
    if (path == QLatin1String("/metrics"))
        document = {200, Metrics::ContentType, Metrics::render(m_monitor.status())};
    else if (path == QLatin1String("/healthz"))
        document = {200, "text/plain; charset=utf-8", "ok\n"};
    else if (path == QLatin1String("/"))
        document = {200, "text/html; charset=utf-8",
                    StatusPage::render(m_monitor.status(), m_refreshSeconds)};
    else
        return {404, "text/plain", "Not found. Try /metrics, /healthz or /.\n"};
    const Method method = request.method();
    if (method != Method::Get && method != Method::Head)
        return {405, "text/plain", "Only GET and HEAD are served.\n", "GET, HEAD"};
    return document;
}
