#include "html/ModulePages.h"

#include "html/PagesServer.h"
#include "html/RemotePages.h"
#include "link/AgentAddress.h"
#include "link/HandOver.h"

#include <QEventLoop>
#include <QPointer>

using namespace PagesHttp;

// Carries the effects of serving a page from the worker to this object's thread.
class ModulePages::Effects : public PageEffects {
public:
    explicit Effects(ModulePages& pages) : m_pages(pages) {}

    void ShowPageStatus(const QString& text, Tone tone) override {
        post([p = &m_pages, text, tone] { Q_EMIT p->pageStatus(text, tone); });
    }
    void openWaitBox(int seconds, const QString& text) override {
        post([p = &m_pages, seconds, text] { Q_EMIT p->waitBoxOpened(seconds, text); });
    }
    void closeWaitBox() override {
        post([p = &m_pages] { Q_EMIT p->waitBoxClosed(); });
    }
    void showRefusal(const QString& text) override {
        post([p = &m_pages, text] { p->onRefusal(text); });
        // The response waits until the user has closed the message.
        while (!m_pages.m_refusalRead.tryAcquire(1, 50))
            if (m_pages.m_abort.load())
                return;
    }

private:
    template <typename F> void post(F f) { HandOver::post(&m_pages, std::move(f)); }
    ModulePages& m_pages;
};

ModulePages::ModulePages(QObject* parent)
    : QObject(parent), m_transfer(m_channel, m_abort), m_effects(std::make_unique<Effects>(*this)),
      m_service(std::make_unique<PageService>(m_channel, m_transfer, *m_effects, m_abort)) {
    m_thread.setObjectName(QStringLiteral("module pages"));
}

ModulePages::~ModulePages() {
    close();
}

bool ModulePages::OpenRawPort(const QString& portName, const QByteArray& selectFrame) {
    if (!AgentAddress::isAgentPort(portName))
        return open(Transport::forPort(portName), selectFrame);
    close();
    m_remote = std::make_unique<RemotePages>(*this);
    return m_remote->open(portName, selectFrame);
}

bool ModulePages::open(std::unique_ptr<Transport> line, const QByteArray& selectFrame) {
    close();
    if (!m_channel.open(std::move(line), selectFrame))
        return false;
    // A new window: checksums on in both directions until the module refuses them.
    m_transfer.RequestCrcOn = true;
    m_transfer.ReplyCrcOn = true;
    m_transfer.ReplyCarry.clear();
    startWorker();
    return true;
}

void ModulePages::startWorker() {
    m_abort = false;
    m_refusalRead.tryAcquire(m_refusalRead.available());
    m_workerContext = new QObject;
    m_workerContext->moveToThread(&m_thread);
    m_thread.start();
}

void ModulePages::stopWorker() {
    if (!m_workerContext)
        return;
    m_abort = true;
    m_thread.quit();
    m_thread.wait();
    delete m_workerContext;
    m_workerContext = nullptr;
}

void ModulePages::setTap(RawChannel::Tap tap) {
    m_tap = tap;
    m_channel.setTap(std::move(tap));
}

bool ModulePages::isOpen() const {
    return m_remote ? m_remote->isOpen() : m_channel.isOpen();
}

QString ModulePages::errorString() const {
    return m_remote ? m_remote->errorString() : m_channel.errorString();
}

void ModulePages::close() {
    m_remote.reset();
    if (m_server) {
        m_server->stop();
        delete m_server;
        m_server = nullptr;
    }
    stopWorker();
    m_channel.close();
}

QByteArray ModulePages::exchangeWindowSize() {
    if (m_remote)
        return m_remote->windowSize();
    struct Outcome {
        bool done = false;
        QByteArray reply;
    };
    auto outcome = std::make_shared<Outcome>();
    QEventLoop loop;
    QPointer<QEventLoop> guard(&loop);
    exchangeWindowSize([outcome, guard](const QByteArray& reply) {
        outcome->reply = reply;
        outcome->done = true;
        if (guard)
            guard->quit();
    });
    if (!outcome->done)
        loop.exec();
    return outcome->reply;
}

void ModulePages::exchangeWindowSize(std::function<void(const QByteArray&)> then) {
    if (!m_workerContext)
        return then({});
    HandOver::post(m_workerContext, [this, then = std::move(then)] {
        const QByteArray reply = m_transfer.exchangeWindowSize();
        HandOver::post(this, [then, reply] { then(reply); });
    });
}

bool ModulePages::startServer(QString* error, quint16 preferredPort) {
    if (m_remote)
        return m_remote->serve(error, preferredPort);
    if (m_server)
        return true;
    auto serve = [this](const PageRequest& request, PagesServer::Done done) {
        HandOver::post(m_workerContext, [this, request, done] {
            const PageResponse response = m_service->serve(request);
            HandOver::post(this, [done, response] { done(response); });
        });
    };
    auto* server = new PagesServer(serve, this);
    server->setAdmit(m_admit);
    if (!m_workerContext || !server->start(error, preferredPort)) {
        if (error && !m_workerContext)
            *error = QStringLiteral("the line is not open");
        delete server;
        return false;
    }
    connect(server, &PagesServer::busyTimedOut, this,
            [this] { Q_EMIT pageStatus(TimeOutText, PageEffects::Tone::Same); });
    m_server = server;
    m_transfer.setServerPort(m_browserPort ? m_browserPort : server->port());
    return true;
}

quint16 ModulePages::serverPort() const {
    if (m_remote)
        return m_remote->port();
    return m_server ? m_server->port() : 0;
}

QString ModulePages::startAddress() const {
    return QStringLiteral("http://127.0.0.1:%1/").arg(serverPort());
}

bool ModulePages::RequestBusy() const {
    return m_server && m_server->RequestBusy();
}

void ModulePages::setRefusalHandler(std::function<void(const QString&)> handler, bool readLater) {
    m_refusalHandler = std::move(handler);
    m_refusalReadLater = readLater && m_refusalHandler;
}

void ModulePages::onRefusal(const QString& text) {
    if (m_refusalHandler)
        m_refusalHandler(text);
    if (!m_refusalReadLater)
        m_refusalRead.release();
}
