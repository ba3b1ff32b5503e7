#include "monitor/MonitorHttp.h"

#include "html/RequestGate.h"
#include "monitor/HeadendMonitor.h"
#include "monitor/Metrics.h"
#include "monitor/StatusPage.h"

#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QTcpSocket>
#include <memory>

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
// at most MaxConnections of them at a time.
class CappedListener : public GatedListener {
public:
    CappedListener() : GatedListener(0) {}

protected:
    void incomingConnection(qintptr descriptor) override {
        QList<QTcpSocket*> open;
        for (QTcpSocket* s : findChildren<QTcpSocket*>(QString(), Qt::FindDirectChildrenOnly))
            if (s->state() == QAbstractSocket::ConnectedState)
                open << s;
        // The oldest has had the longest time to ask.
        for (qsizetype i = 0; i + MonitorHttp::MaxConnections <= open.size(); ++i)
            drop(open.at(i));
        GatedListener::incomingConnection(descriptor);
    }
};

QByteArray header(const QHttpServerRequest& request, const QByteArray& name) {
    for (const auto& [key, value] : request.headers())
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    return {};
}
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
    // Requests sent one after another without reading the answers would pile them up here.
    if (socket->bytesToWrite() > MaxUnsentBytes) {
        drop(socket);
        return true;
    }
    answer(request, socket);
    if (gate)
        gate->answered();
    if (header(request, "Connection").trimmed().toLower() == "close")
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
