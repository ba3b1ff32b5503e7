#include "html/PagesServer.h"

#include "html/RequestGate.h"

#include <QHttpServerRequest>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <algorithm>

using namespace PagesHttp;
using Method = QHttpServerRequest::Method;
using Status = QHttpServerResponder::StatusCode;

PagesServer::PagesServer(Serve serve, QObject* parent)
    : QAbstractHttpServer(parent), m_serve(std::move(serve)) {}

PagesServer::~PagesServer() {
    stop();
}

bool PagesServer::start(QString* error, quint16 preferred) {
    // A body longer than a form may bring is never read (413).
    auto listener = std::make_unique<GatedListener>(MaxBodyBytes);
    // The preferred port needs privileges or may be taken: any free port will do, as long
    // as it is the one we name to the browser and in the module's local links.
    if (!listener->listen(QHostAddress::LocalHost, preferred) &&
        !listener->listen(QHostAddress::LocalHost, 0)) {
        if (error)
            *error = listener->errorString();
        return false;
    }
    m_port = listener->serverPort();
    m_listener = listener.release();
    bind(m_listener);
    return true;
}

void PagesServer::stop() {
    if (m_listener)
        m_listener->close();
    m_waiting.clear();
    m_current.reset();
    m_busy = false;
}

bool PagesServer::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) {
    RequestGate* gate = RequestGate::of(socket);
    // Qt's parse of the target loses a path that begins with "//": the target as sent has it.
    const QByteArray target = gate ? gate->takeTarget() : QByteArray();
    if (closing(socket)) { // a request after one that asked to close: not served
        if (gate)
            gate->answered();
        return true;
    }
    auto pending = std::make_unique<Pending>();
    pending->responder = std::make_unique<QHttpServerResponder>(makeResponder(request, socket));
    pending->socket = socket;
    pending->close = asksToClose(request);
    PageRequest::Method method = PageRequest::Method::Get;
    switch (request.method()) {
    case Method::Get:
        break;
    case Method::Post:
        method = PageRequest::Method::Post;
        break;
    case Method::Head:
        method = PageRequest::Method::Head;
        break;
    default:
        respond(*pending, {405, "text/plain", "Only GET, POST and HEAD are served.\n"});
        return true;
    }
    pending->request = pageRequest(method, request.url(), request.body(), target);
    const Origin from{headerOf(request, "Host"), headerOf(request, "Origin"),
                      headerOf(request, "Sec-Fetch-Site"), headerOf(request, "Referer")};
    const Refusal refusal = vet(from, pending->request);
    if (refusal.status != 0) {
        respond(*pending, {refusal.status, "text/plain", refusal.reason});
        return true;
    }
    enqueue(std::move(pending));
    return true;
}

bool PagesServer::closing(const QTcpSocket* socket) const {
    const auto closes = [socket](const std::unique_ptr<Pending>& p) {
        return p && p->close && p->socket == socket;
    };
    return socket->state() != QAbstractSocket::ConnectedState || closes(m_current) ||
           std::any_of(m_waiting.begin(), m_waiting.end(), closes);
}

void PagesServer::missingHandler(const QHttpServerRequest&, QTcpSocket*) {
    // Every request is handled above.
}

void PagesServer::respond(Pending& pending, const PageResponse& response) {
    if (!pending.socket || !pending.responder)
        return; // the browser has gone away
    QHttpServerResponder& r = *pending.responder;
    r.writeStatusLine(Status(response.status));
    if (!response.contentType.isEmpty())
        r.writeHeader("Content-Type", response.contentType);
    if (pending.close)
        r.writeHeader("Connection", "close");
    r.writeHeader("Content-Length", QByteArray::number(response.body.size()));
    // The head of a response: its length and type, no body.
    r.writeBody(pending.request.method == PageRequest::Method::Head ? QByteArray() : response.body);
    pending.responder.reset();
    if (RequestGate* gate = RequestGate::of(pending.socket))
        gate->answered();
    if (pending.close)
        pending.socket->disconnectFromHost(); // once the response has gone out
}

void PagesServer::enqueue(std::unique_ptr<Pending> pending) {
    pending->id = m_nextId++;
    if (!m_busy) {
        m_waiting.push_back(std::move(pending));
        dispatchNext();
        return;
    }
    const quint64 id = pending->id;
    pending->busyWait = std::make_unique<QTimer>();
    pending->busyWait->setSingleShot(true);
    connect(pending->busyWait.get(), &QTimer::timeout, this, [this, id] { giveUp(id); });
    pending->busyWait->start(BusyWaitMs);
    m_waiting.push_back(std::move(pending));
}

void PagesServer::dispatchNext() {
    while (!m_busy && !m_waiting.empty()) {
        std::unique_ptr<Pending> next = std::move(m_waiting.front());
        m_waiting.pop_front();
        if (!next->socket)
            continue; // nobody waits for this one any more: the module need not be asked
        next->busyWait.reset();
        m_busy = true;
        m_current = std::move(next);
        const quint64 id = m_current->id;
        QPointer<PagesServer> self(this);
        m_serve(m_current->request, [self, id](const PageResponse& response) {
            if (self)
                self->finish(id, response);
        });
    }
}

void PagesServer::finish(quint64 id, const PageResponse& response) {
    if (!m_current || m_current->id != id)
        return;
    respond(*m_current, response);
    m_current.reset();
    m_busy = false;
    dispatchNext();
}

void PagesServer::giveUp(quint64 id) {
    for (auto it = m_waiting.begin(); it != m_waiting.end(); ++it) {
        if ((*it)->id != id)
            continue;
        std::unique_ptr<Pending> pending = std::move(*it);
        m_waiting.erase(it);
        respond(*pending, busyTimeoutPage());
        Q_EMIT busyTimedOut();
        return;
    }
}
