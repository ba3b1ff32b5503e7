#include "tests/support/DelayProxy.h"

#include <QByteArray>
#include <cerrno>
#include <chrono>
#include <deque>
#include <fcntl.h>
#include <memory>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

using Clock = std::chrono::steady_clock;

struct DelayProxy::Connection {
    struct Piece {
        Clock::time_point due;
        QByteArray bytes; // empty: the sending side has closed
    };
    // One direction: what came from `from`, to go to `to` when due.
    struct Direction {
        int from = -1;
        int to = -1;
        std::deque<Piece> pending;
        bool ended = false; // the sending side has closed
    };

    Direction up, down;
    bool closed = false;
    ~Connection() {
        ::close(up.from);
        ::close(up.to);
    }
};

namespace {
using Piece = DelayProxy::Connection::Piece;
using Direction = DelayProxy::Connection::Direction;

int loopbackSocket(quint16 port, bool listen, quint16* bound) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    if (!listen)
        return ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 ? fd
                                                                             : (::close(fd), -1);
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    socklen_t size = sizeof a;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, 8) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size) != 0)
        return ::close(fd), -1;
    *bound = ntohs(a.sin_port);
    return fd;
}

// Forwards what is due; false when the direction has ended (its end marker went through).
bool deliver(Direction& d, Clock::time_point now) {
    while (!d.pending.empty() && d.pending.front().due <= now) {
        Piece& p = d.pending.front();
        if (p.bytes.isEmpty())
            return false;
        const ssize_t n = ::send(d.to, p.bytes.constData(), size_t(p.bytes.size()), MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        p.bytes.remove(0, n);
        if (!p.bytes.isEmpty())
            return true; // the rest when there is room
        d.pending.pop_front();
    }
    return true;
}

// Takes in what came; an end marker when the sending side has closed.
void receive(Direction& d, Clock::time_point due) {
    char buf[4096];
    const ssize_t n = ::recv(d.from, buf, sizeof buf, MSG_DONTWAIT);
    if (n > 0) {
        d.pending.push_back({due, QByteArray(buf, int(n))});
    } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
        d.pending.push_back({due, {}});
        d.ended = true;
    }
}
} // namespace

DelayProxy::DelayProxy(quint16 target, int roundTripMs)
    : m_target(target), m_halfMs(roundTripMs / 2) {
    m_listen = loopbackSocket(0, true, &m_port);
    if (::pipe2(m_wake, O_CLOEXEC | O_NONBLOCK) != 0)
        m_wake[0] = m_wake[1] = -1;
    m_thread = std::thread([this] { run(); });
}

DelayProxy::~DelayProxy() {
    m_stop = true;
    cut();
    m_thread.join();
    ::close(m_listen);
    ::close(m_wake[0]);
    ::close(m_wake[1]);
}

void DelayProxy::cut() {
    m_cut = true;
    const char x = 'x';
    [[maybe_unused]] const ssize_t n = ::write(m_wake[1], &x, 1);
}

void DelayProxy::cutOn(const QByteArray& bytes) {
    std::lock_guard lock(m_mutex);
    m_cutOn = bytes;
}

bool DelayProxy::cutDue(const std::vector<std::unique_ptr<Connection>>& conns) {
    std::lock_guard lock(m_mutex);
    if (m_cutOn.isEmpty())
        return false;
    for (const auto& c : conns)
        for (const Piece& p : c->up.pending)
            if (p.bytes.contains(m_cutOn)) {
                m_cutOn.clear();
                return true;
            }
    return false;
}

void DelayProxy::run() {
    std::vector<std::unique_ptr<Connection>> conns;
    const auto half = std::chrono::milliseconds(m_halfMs);
    while (!m_stop) {
        std::vector<pollfd> fds{{m_listen, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
        auto next = Clock::now() + std::chrono::seconds(1);
        for (const auto& c : conns)
            for (const Direction* d : {&c->up, &c->down}) {
                fds.push_back({d->ended ? -1 : d->from, POLLIN, 0});
                if (!d->pending.empty())
                    next = std::min(next, d->pending.front().due);
            }
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(next - Clock::now());
        ::poll(fds.data(), fds.size(), int(std::max<qint64>(0, wait.count())));
        char drop[64];
        while (::read(m_wake[0], drop, sizeof drop) > 0) {
        }
        if (m_cut.exchange(false)) {
            conns.clear();
            continue;
        }
        const auto now = Clock::now();
        for (std::size_t i = 0; i < conns.size(); ++i) {
            if (fds[2 + 2 * i].revents)
                receive(conns[i]->up, now + half);
            if (fds[3 + 2 * i].revents)
                receive(conns[i]->down, now + half);
        }
        if (cutDue(conns) || m_cut.exchange(false)) {
            conns.clear();
            continue;
        }
        for (auto& c : conns)
            c->closed = !deliver(c->up, now) || !deliver(c->down, now);
        std::erase_if(conns, [](const auto& c) { return c->closed; });
        if (fds[0].revents & POLLIN)
            accept(conns);
    }
}

void DelayProxy::accept(std::vector<std::unique_ptr<Connection>>& conns) {
    const int client = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0)
        return;
    quint16 unused = 0;
    const int server = loopbackSocket(m_target, false, &unused);
    if (server < 0) {
        ::close(client);
        return;
    }
    auto c = std::make_unique<Connection>();
    c->up = {client, server, {}, false};
    c->down = {server, client, {}, false};
    conns.push_back(std::move(c));
}
