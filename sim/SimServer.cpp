#include "sim/SimServer.h"

SimServer::SimServer(const SimProfile& profile, const SimServerOptions& options)
    : m_headend(profile),
      m_latencyMs(options.latencyMs >= 0 ? options.latencyMs : profile.latencyMs),
      m_pace(options.pace >= 0 ? options.pace == 1 : profile.pace) {
    m_endpoint.setLinkPath(options.linkPath);
    m_endpoint.setReceiver([this](const QByteArray& bytes) {
        if (m_pace)
            awaitArrival(bytes.size());
        m_headend.feed(bytes);
    });
    m_headend.setLine(this);
}

SimServer::~SimServer() {
    m_endpoint.close(); // no more bytes come in
    m_headend.setLine(nullptr);
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_cv.notify_all();
    if (m_writer.joinable())
        m_writer.join();
}

std::unique_ptr<SimServer> SimServer::startPty(const SimProfile& profile, QString* error,
                                               const SimServerOptions& options) {
    std::unique_ptr<SimServer> server(new SimServer(profile, options));
    if (!server->m_endpoint.openPty(error))
        return nullptr;
    server->m_writer = std::thread([s = server.get()] { s->writeLoop(); });
    return server;
}

std::unique_ptr<SimServer> SimServer::startDevice(const SimProfile& profile, const QString& device,
                                                  QString* error, const SimServerOptions& options) {
    std::unique_ptr<SimServer> server(new SimServer(profile, options));
    if (!server->m_endpoint.openDevice(device, error))
        return nullptr;
    server->m_writer = std::thread([s = server.get()] { s->writeLoop(); });
    return server;
}

void SimServer::send(const QByteArray& bytes, int delayMs) {
    {
        std::lock_guard lock(m_mutex);
        m_queue.push_back({bytes, Clock::now(), delayMs, false});
    }
    m_cv.notify_all();
}

void SimServer::drop() {
    {
        std::lock_guard lock(m_mutex);
        m_queue.push_back({{}, Clock::now(), 0, true});
    }
    m_cv.notify_all();
}

// On a paced line bytes come in at the line rate too: a frame counts as received when its
// last byte would have arrived.
void SimServer::awaitArrival(qsizetype bytes) {
    const auto now = Clock::now();
    m_rxLineFree = std::max(m_rxLineFree, now) +
                   std::chrono::microseconds(bytes * 1000000 / PtyEndpoint::LineBytesPerSecond);
    std::this_thread::sleep_until(m_rxLineFree);
}

void SimServer::closeLine() {
    drop();
}

bool SimServer::reopenLine(QString* error) {
    waitUntilSent(5000); // a pending drop must not close the new line
    return m_endpoint.reopen(error);
}

bool SimServer::waitUntilSent(int timeoutMs) {
    std::unique_lock lock(m_mutex);
    return m_cv.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                         [this] { return m_queue.empty() && !m_busy; });
}

// The module answers after its turnaround; a reply that asks for a pause (SYN after console
// output, a page that follows "WAIT") gets it after the line has gone quiet.
void SimServer::writeLoop() {
    Clock::time_point lineFree = Clock::now();
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_cv.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
        if (m_stopping)
            return;
        Item item = std::move(m_queue.front());
        m_queue.pop_front();
        m_busy = true;
        const auto due =
            std::max(item.queued + std::chrono::milliseconds(m_latencyMs.load()), lineFree) +
            std::chrono::milliseconds(item.delayMs);
        if (m_cv.wait_until(lock, due, [this] { return m_stopping; }))
            return;
        lock.unlock();
        if (item.drop)
            m_endpoint.close();
        else
            m_endpoint.write(item.bytes, m_pace);
        lineFree = Clock::now();
        lock.lock();
        m_busy = false;
        m_cv.notify_all();
    }
}
