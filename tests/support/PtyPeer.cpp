#include "tests/support/PtyPeer.h"

#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace {
qint64 nowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}
} // namespace

PtyPeer::PtyPeer() {
    char name[256] = {};
    if (openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0)
        qFatal("PtyPeer: openpty failed");
    // Raw line discipline, so that nothing is echoed or translated before the program's
    // port sets its own mode. Our own slave descriptor keeps the line up while the program
    // closes and opens its port.
    termios tio{};
    tcgetattr(m_slave, &tio);
    cfmakeraw(&tio);
    tcsetattr(m_slave, TCSANOW, &tio);
    fcntl(m_master, F_SETFL, fcntl(m_master, F_GETFL) | O_NONBLOCK);
    m_path = QString::fromLocal8Bit(name);
    if (pipe(m_wakePipe) != 0)
        qFatal("PtyPeer: pipe failed");
    m_thread = std::thread([this] { run(); });
}

PtyPeer::~PtyPeer() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    wake();
    m_thread.join();
    for (int fd : {m_master, m_slave, m_wakePipe[0], m_wakePipe[1]})
        if (fd >= 0)
            ::close(fd);
}

void PtyPeer::wake() {
    const char c = 1;
    [[maybe_unused]] auto n = ::write(m_wakePipe[1], &c, 1);
}

void PtyPeer::setResponder(Responder responder) {
    std::lock_guard lock(m_mutex);
    m_responder = std::move(responder);
}

void PtyPeer::queue(const QByteArray& bytes, int delayMs) {
    std::lock_guard lock(m_mutex);
    m_queued.push_back({bytes, delayMs});
}

void PtyPeer::send(const QByteArray& bytes, int delayMs) {
    {
        std::lock_guard lock(m_mutex);
        schedule(bytes, delayMs);
    }
    wake();
}

void PtyPeer::schedule(const QByteArray& bytes, int delayMs) {
    if (bytes.isEmpty())
        return;
    const qint64 due = nowMs() + delayMs;
    auto it = m_outgoing.begin();
    while (it != m_outgoing.end() && it->first <= due)
        ++it;
    m_outgoing.insert(it, {due, bytes});
}

QByteArray PtyPeer::received() const {
    std::lock_guard lock(m_mutex);
    return m_received;
}

QList<QByteArray> PtyPeer::frames() const {
    std::lock_guard lock(m_mutex);
    return m_frames;
}

void PtyPeer::clearReceived() {
    std::lock_guard lock(m_mutex);
    m_received.clear();
    m_frames.clear();
    m_partial.clear();
}

bool PtyPeer::waitForFrames(int n, int ms) const {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(ms),
                              [&] { return m_frames.size() >= n; });
}

PtyPeer::LineState PtyPeer::lineState() const {
    std::lock_guard lock(m_mutex);
    return PtyEndpoint::lineStateOf(m_slave);
}

void PtyPeer::hangUp() {
    {
        std::lock_guard lock(m_mutex);
        ::close(m_master);
        ::close(m_slave);
        m_master = m_slave = -1;
        m_outgoing.clear();
    }
    // The reader's poll holds the terminal until it returns.
    wake();
}

void PtyPeer::onFrame(const QByteArray& frame) {
    m_frames << frame;
    std::optional<Reply> reply;
    if (!m_queued.empty()) {
        reply = m_queued.front();
        m_queued.pop_front();
    } else if (m_responder) {
        reply = m_responder(frame);
    }
    if (reply)
        schedule(reply->bytes, reply->delayMs);
}

void PtyPeer::onBytes(const QByteArray& bytes) {
    m_received += bytes;
    for (char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (m_partial.isEmpty() && c != '!') {
            onFrame(QByteArray(1, c));
            continue;
        }
        m_partial += c;
        const bool select =
            m_partial.size() >= 2 && (static_cast<unsigned char>(m_partial[1]) & 0xFE) == 0xC0;
        if ((select && m_partial.size() == 3) || (!select && u == 0x0D)) {
            onFrame(m_partial);
            m_partial.clear();
        }
    }
    m_changed.notify_all();
}

void PtyPeer::run() {
    for (;;) {
        int timeout = -1;
        int master = -1;
        {
            std::lock_guard lock(m_mutex);
            if (m_stop)
                return;
            master = m_master;
            while (!m_outgoing.empty() && m_outgoing.front().first <= nowMs() && master >= 0) {
                const QByteArray& out = m_outgoing.front().second;
                [[maybe_unused]] auto n = ::write(master, out.constData(), out.size());
                m_outgoing.pop_front();
            }
            if (!m_outgoing.empty())
                timeout = int(std::max<qint64>(0, m_outgoing.front().first - nowMs()));
        }
        pollfd fds[2] = {{m_wakePipe[0], POLLIN, 0}, {master, POLLIN, 0}};
        ::poll(fds, master >= 0 ? 2 : 1, timeout);
        if (fds[0].revents & POLLIN) {
            char drain[64];
            [[maybe_unused]] auto n = ::read(m_wakePipe[0], drain, sizeof drain);
        }
        if (master >= 0 && (fds[1].revents & POLLIN)) {
            char buf[4096];
            const auto n = ::read(master, buf, sizeof buf);
            if (n > 0) {
                std::lock_guard lock(m_mutex);
                onBytes(QByteArray(buf, int(n)));
            }
        }
    }
}
