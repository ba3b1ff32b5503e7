#include "net/GatedHttpServer.h"

#include <QHttpServerRequest>
#include <QTcpSocket>

using Status = QHttpServerResponder::StatusCode;

namespace {
bool asksToClose(const QHttpServerRequest& request) {
    for (const QByteArray& token : GatedHttpServer::header(request, "Connection").split(','))
        if (token.trimmed().compare("close", Qt::CaseInsensitive) == 0)
            return true;
    return false;
}
} // namespace

GatedHttpServer::GatedHttpServer(bool announceClose, QObject* parent)
    : QAbstractHttpServer(parent), m_announceClose(announceClose) {}

QByteArray GatedHttpServer::header(const QHttpServerRequest& request, const QByteArray& name) {
    for (const auto& [key, value] : request.headers())
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    return {};
}

bool GatedHttpServer::listen(std::unique_ptr<GatedListener> listener, const QHostAddress& address,
                             std::initializer_list<quint16> ports, QString* error) {
    for (const quint16 port : ports) {
        if (!listener->listen(address, port))
            continue;
        m_port = listener->serverPort();
        m_listener = listener.release();
        bind(m_listener);
        return true;
    }
    if (error)
        *error = listener->errorString();
    return false;
}

bool GatedHttpServer::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) {
    RequestGate* gate = RequestGate::of(socket);
    auto exchange = std::make_unique<Exchange>();
    exchange->target = gate ? gate->takeTarget() : QByteArray();
    if (socket->state() != QAbstractSocket::ConnectedState || (gate && gate->closing())) {
        if (gate)
            gate->answered(); // a request behind one that asked to close: not served
        return true;
    }
    exchange->socket = socket;
    exchange->responder = std::make_unique<QHttpServerResponder>(makeResponder(request, socket));
    exchange->head = request.method() == QHttpServerRequest::Method::Head;
    exchange->close = asksToClose(request);
    if (exchange->close && gate)
        gate->closeAfterAnswer();
    serve(request, std::move(exchange));
    return true;
}

void GatedHttpServer::missingHandler(const QHttpServerRequest&, QTcpSocket*) {
    // Every request is handled above.
}

void GatedHttpServer::reply(Exchange& exchange, const HttpResponse& response) const {
    if (!exchange.socket || !exchange.responder)
        return; // the client has gone away
    QHttpServerResponder& r = *exchange.responder;
    r.writeStatusLine(Status(response.status));
    if (!response.contentType.isEmpty())
        r.writeHeader("Content-Type", response.contentType);
    if (!response.allow.isEmpty())
        r.writeHeader("Allow", response.allow);
    if (exchange.close && m_announceClose)
        r.writeHeader("Connection", "close");
    r.writeHeader("Content-Length", QByteArray::number(response.body.size()));
    r.writeBody(exchange.head ? QByteArray() : response.body);
    exchange.responder.reset();
    if (RequestGate* gate = RequestGate::of(exchange.socket))
        gate->answered();
    if (exchange.close)
        exchange.socket->disconnectFromHost(); // once the answer has gone out
}
