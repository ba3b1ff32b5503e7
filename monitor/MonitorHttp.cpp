#include "monitor/MonitorHttp.h"

#include "monitor/HeadendMonitor.h"
#include "monitor/Metrics.h"
#include "monitor/StatusPage.h"

#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QTcpServer>
#include <memory>

using Method = QHttpServerRequest::Method;
using Status = QHttpServerResponder::StatusCode;

MonitorHttp::MonitorHttp(const HeadendMonitor& monitor, int refreshSeconds, QObject* parent)
    : QAbstractHttpServer(parent), m_monitor(monitor), m_refreshSeconds(refreshSeconds) {}

bool MonitorHttp::listen(const QHostAddress& address, quint16 port, QString* error) {
    auto listener = std::make_unique<QTcpServer>();
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
    QHttpServerResponder responder = makeResponder(request, socket);
    if (request.method() != Method::Get) {
        responder.write("Only GET is served.\n", "text/plain", Status::MethodNotAllowed);
        return true;
    }
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
        return true;
    }
    responder.write(body, type);
    return true;
}

void MonitorHttp::missingHandler(const QHttpServerRequest&, QTcpSocket*) {
    // Every request is answered above.
}
