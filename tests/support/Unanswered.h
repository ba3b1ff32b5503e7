#pragma once

#include <QtGlobal>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

// A port on 127.0.0.1 that nobody listens on: one the system gave out and took back.
inline quint16 unusedPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t size = sizeof a;
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), size);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size);
    ::close(fd);
    return ntohs(a.sin_port);
}

// A port on 127.0.0.1 whose listener's queue is full: the handshake of a connection to it is
// dropped and the connect waits, as for a host that has gone.
struct Unanswered {
    Unanswered() {
        sockaddr_in a{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
        socklen_t size = sizeof a;
        ::bind(fds[0], reinterpret_cast<sockaddr*>(&a), size);
        ::listen(fds[0], 0);
        ::getsockname(fds[0], reinterpret_cast<sockaddr*>(&a), &size);
        port = ntohs(a.sin_port);
        for (int i = 1; i < 4; ++i) { // the first fills the queue, the others make sure
            fds[i] = ::socket(AF_INET, SOCK_STREAM | (i > 1 ? SOCK_NONBLOCK : 0), 0);
            ::connect(fds[i], reinterpret_cast<sockaddr*>(&a), size);
        }
    }
    ~Unanswered() {
        for (const int fd : fds)
            ::close(fd);
    }
    int fds[4] = {::socket(AF_INET, SOCK_STREAM, 0)};
    quint16 port = 0;
};
