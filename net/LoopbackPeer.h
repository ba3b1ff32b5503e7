#pragma once

#include <optional>
#include <sys/types.h>

class QTcpSocket;

// The user whose process holds the other end of a connection taken on 127.0.0.1, as the
// kernel lists its sockets; none when it cannot be told (the other end gone meanwhile).
std::optional<uid_t> loopbackPeerUid(const QTcpSocket& socket);
