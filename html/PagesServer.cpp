#include "html/PagesServer.h"

#include <QHttpServerRequest>
#include <QTcpServer>
#include <QTimer>

using namespace PagesHttp;
using Method = QHttpServerRequest::Method;

PagesServer::PagesServer(Serve serve, QObject* parent)
    : GatedHttpServer(true, parent), m_serve(std::move(serve)) {}

PagesServer::~PagesServer() {
    stop();
}

bool PagesServer::start(QString* error, quint16 preferred) {
    // A body longer than a form may bring is never read (413). The preferred port needs
    // privileges or may be taken: any free port will do, as long as it is the one we name to
    // the browser and in the module's local links.
    return listen(std::make_unique<GatedListener>(MaxBodyBytes, m_admit), QHostAddress::LocalHost,
                  {preferred, 0}, error);
}

void PagesServer::stop() {
    if (listener())
        listener()->close();
    m_waiting.clear();
    m_current.reset();
    m_busy = false;
}

void PagesServer::serve(const QHttpServerRequest& request, std::unique_ptr<Exchange> exchange) {
    auto pending = std::make_unique<Pending>();
    pending->exchange = std::move(exchange);
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
        reply(*pending->exchange, {405, "text/plain", "Only GET, POST and HEAD are served.\n"});
        return;
    }
    pending->request =
        pageRequest(method, request.url(), request.body(), pending->exchange->target);
    const Origin from{header(request, "Host"), header(request, "Origin"),
                      header(request, "Sec-Fetch-Site"), header(request, "Referer")};
    const Refusal refusal = vet(from, pending->request);
    if (refusal.status != 0) {
        reply(*pending->exchange, {refusal.status, "text/plain", refusal.reason});
        return;
    }
    enqueue(std::move(pending));
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
        if (!next->exchange->socket)
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
    reply(*m_current->exchange, response);
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
        reply(*pending->exchange, busyTimeoutPage());
        Q_EMIT busyTimedOut();
        return;
    }
}
