#pragma once

#include "html/PagesHttp.h"
#include "net/GatedHttpServer.h"

#include <deque>
#include <functional>
#include <memory>

class QTimer;

// The local HTTP front end of the pages window: listens on 127.0.0.1 only, turns each
// browser request into a page request and lets one at a time go to the module. A request
// that finds another in service waits for it up to BusyWaitMs and is then answered
// "Timeout". Lives on the GUI thread; the service itself runs elsewhere and reports back
// through the completion it is given.
class PagesServer : public GatedHttpServer {
    Q_OBJECT
public:
    using Done = std::function<void(const PagesHttp::PageResponse&)>;
    // Serves one request; calls done (on this object's thread) when the response is ready.
    using Serve = std::function<void(const PagesHttp::PageRequest&, Done done)>;

    static constexpr quint16 PreferredPort = 88;
    static constexpr int BusyWaitMs = 3500;

    explicit PagesServer(Serve serve, QObject* parent = nullptr);
    ~PagesServer() override;

    // Listens on 127.0.0.1, port 88 when it can be had, else a free port. False with the
    // reason in *error when neither works.
    bool start(QString* error, quint16 preferred = PreferredPort);
    // Who may connect (everyone by default); set before start().
    void setAdmit(GatedListener::Admit admit) { m_admit = std::move(admit); }
    // Stops listening and forgets the requests not yet served.
    void stop();

    // A request is on the line.
    bool RequestBusy() const { return m_busy; }

Q_SIGNALS:
    // A waiting request gave up: the status line says so.
    void busyTimedOut();

protected:
    void serve(const QHttpServerRequest& request, std::unique_ptr<Exchange> exchange) override;

private:
    struct Pending {
        quint64 id = 0;
        PagesHttp::PageRequest request;
        std::unique_ptr<Exchange> exchange;
        std::unique_ptr<QTimer> busyWait;
    };

    void enqueue(std::unique_ptr<Pending> pending);
    void dispatchNext();
    void finish(quint64 id, const PagesHttp::PageResponse& response);
    void giveUp(quint64 id);

    Serve m_serve;
    GatedListener::Admit m_admit;
    bool m_busy = false; // only this thread takes and releases it
    quint64 m_nextId = 1;
    std::unique_ptr<Pending> m_current;
    std::deque<std::unique_ptr<Pending>> m_waiting;
};
