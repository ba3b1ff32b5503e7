#include "html/PagesServer.h"

#include "html/RequestGate.h"

#include <QHttpServerRequest>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

using namespace PagesHttp;
using Method = QHttpServerRequest::Method;
using Status = QHttpServerResponder::StatusCode;

namespace {
QByteArray header(const QHttpServerRequest& request, const QByteArray& name) {
    for (const auto& [key, value] : request.headers())
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    return {};
}

void refuse(QHttpServerResponder& responder, int status, const QByteArray& text,
            QTcpSocket* socket) {
    responder.write(text, "text/plain", Status(status));
    if (RequestGate* gate = RequestGate::of(socket))
        gate->answered();
}
} // namespace

PagesServer::PagesServer(Serve serve, QObject* parent)
    : QAbstractHttpServer(parent), m_serve(std::move(serve)) {}

PagesServer::~PagesServer() {
    stop();
}

bool PagesServer::start(QString* error, quint16 preferred) {
    // A body longer than a document request can carry is never read (413).
    auto listener = std::make_unique<GatedListener>(MaxDocumentText);
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
    auto pending = std::make_unique<Pending>();
    pending->responder = std::make_unique<QHttpServerResponder>(makeResponder(request, socket));
    pending->socket = socket;
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
        refuse(*pending->responder, 405, "Only GET, POST and HEAD are served.\n", socket);
        return true;
    }
    pending->request = pageRequest(method, request.url(), request.body(), target);
    const Origin from{header(request, "Host"), header(request, "Origin"),
                      header(request, "Sec-Fetch-Site")};
    const Refusal refusal = vet(from, m_port, pending->request);
    if (refusal.status != 0) {
        refuse(*pending->responder, refusal.status, refusal.reason, socket);
        return true;
    }
    enqueue(std::move(pending));
    return true;
}

void PagesServer::missingHandler(const QHttpServerRequest&, QTcpSocket*) {
    // Every request is handled above.
}

void PagesServer::respond(Pending& pending, const PageResponse& response) {
    if (!pending.socket || !pending.responder)
        return; // the browser has gone away
    QHttpServerResponder& r = *pending.responder;
    const Status status = Status(response.status);
    if (pending.request.method == PageRequest::Method::Head) {
        r.writeStatusLine(status);
        if (!response.contentType.isEmpty())
            r.writeHeader("Content-Type", response.contentType);
        r.writeHeader("Content-Length", QByteArray::number(response.body.size()));
        r.writeBody(QByteArray());
    } else if (response.contentType.isEmpty()) {
        r.write(response.body, QHttpServerResponder::HeaderList{}, status);
    } else {
        r.write(response.body, {{"Content-Type", response.contentType}}, status);
    }
    pending.responder.reset();
    if (RequestGate* gate = RequestGate::of(pending.socket))
        gate->answered();
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
