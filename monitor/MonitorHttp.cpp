#include "monitor/MonitorHttp.h"

#include "html/RequestGate.h"
#include "monitor/HeadendMonitor.h"
#include "monitor/Listening.h"
#include "monitor/Metrics.h"
#include "monitor/StatusPage.h"

#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QTcpSocket>
#include <algorithm>
#include <memory>
#include <sys/ioctl.h>
#include <sys/resource.h>

using Method = QHttpServerRequest::Method;
using Status = QHttpServerResponder::StatusCode;

namespace {
// Closes at once; a readyRead still on its way (the server hands back each request's rest
// with another one) finds nobody to read a closed socket.
void drop(QTcpSocket* socket) {
    QObject::disconnect(socket, &QTcpSocket::readyRead, nullptr, nullptr);
    socket->abort();
}

// The gate of the pages server for every connection (no request of the monitor has a body),
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
    : QAbstractHttpServer(parent), m_monitor(monitor), m_refreshSeconds(refreshSeconds) {}

bool MonitorHttp::listen(const QHostAddress& address, quint16 port, QString* error) {
    auto listener = std::make_unique<CappedListener>();
    if (!listener->listen(address, port)) {
        if (error)
            *error = listener->errorString();
        return false;
    }
    keepAccepting(*listener);
    m_listener = listener.release();
    bind(m_listener);
    return true;
}

quint16 MonitorHttp::port() const {
    return m_listener ? m_listener->serverPort() : 0;
}

bool MonitorHttp::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) {
    RequestGate* gate = RequestGate::of(socket);
    if (gate)
        gate->takeTarget();
    // A request sent after one that asked to close is not served.
    if (socket->state() != QAbstractSocket::ConnectedState) {
        if (gate)
            gate->answered();
        return true;
    }
    // Requests sent one after another without reading the answers would pile them up here.
    if (socket->bytesToWrite() > MaxUnsentBytes) {
        drop(socket);
        return true;
    }
    answer(request, socket);
    if (gate)
        gate->answered();
    if (asksToClose(request))
        socket->disconnectFromHost();
    return true;
}

void MonitorHttp::answer(const QHttpServerRequest& request, QTcpSocket* socket) {
    QHttpServerResponder responder = makeResponder(request, socket);
    const QString path = request.url().path();
    QByteArray body;
    QByteArray type;
    if (path == QLatin1String("/metrics")) {
        body = Metrics::render(m_monitor.status());
        type = Metrics::ContentType;
    } else if (path == QLatin1String("/healthz")) {
        body = "ok\n";
        type = "text/plain; charset=utf-8";
    } else if (path == QLatin1String("/")) {
        body = StatusPage::render(m_monitor.status(), m_refreshSeconds);
        type = "text/html; charset=utf-8";
    } else {
        responder.write("Not found. Try /metrics, /healthz or /.\n", "text/plain",
                        Status::NotFound);
        return;
    }
    const Method method = request.method();
    if (method != Method::Get && method != Method::Head) {
        responder.write("Only GET and HEAD are served.\n",
                        {{"Content-Type", "text/plain"}, {"Allow", "GET, HEAD"}},
                        Status::MethodNotAllowed);
        return;
    }
    if (method == Method::Get) {
        responder.write(body, type);
        return;
    }
    // HEAD: the headers GET would have, without the body.
    responder.writeStatusLine();
    responder.writeHeader("Content-Type", type);
    responder.writeHeader("Content-Length", QByteArray::number(body.size()));
    responder.writeBody(QByteArray());
}

void MonitorHttp::missingHandler(const QHttpServerRequest&, QTcpSocket*) {
    // Every request is answered above.
}
