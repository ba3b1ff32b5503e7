#include "net/LoopbackPeer.h"

#include <QFile>
#include <QTcpSocket>
#include <QtEndian>

namespace {
// An address of the kernel's socket list ("0100007F:1F90" or its IPv6 form, an IPv4 address
// mapped), as the IPv4 address in the kernel's byte order and the port.
bool readAddress(const QByteArray& field, quint32* address, quint16* port) {
    const qsizetype colon = field.indexOf(':');
    QByteArray host = field.left(colon);
    if (host.size() == 32) {
        if (!host.startsWith("0000000000000000FFFF0000"))
            return false;
        host = host.mid(24);
    }
    bool hostOk = false, portOk = false;
    *address = host.toUInt(&hostOk, 16);
    *port = quint16(field.mid(colon + 1).toUInt(&portOk, 16));
    return colon > 0 && host.size() == 8 && hostOk && portOk;
}

std::optional<uid_t> findIn(const QString& list, quint32 peer, quint16 peerPort, quint32 self,
                            quint16 selfPort) {
    QFile file(list);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    file.readLine(); // the heading
    while (!file.atEnd()) {
        const QList<QByteArray> f = file.readLine().simplified().split(' ');
        quint32 local = 0, remote = 0;
        quint16 localPort = 0, remotePort = 0;
        if (f.size() > 7 && readAddress(f[1], &local, &localPort) &&
            readAddress(f[2], &remote, &remotePort) && local == peer && localPort == peerPort &&
            remote == self && remotePort == selfPort)
            return uid_t(f[7].toUInt());
    }
    return std::nullopt;
}
} // namespace

std::optional<uid_t> loopbackPeerUid(const QTcpSocket& socket) {
    bool v4 = false;
    const quint32 peer = qToBigEndian(socket.peerAddress().toIPv4Address(&v4));
    const quint32 self = qToBigEndian(socket.localAddress().toIPv4Address());
    if (!v4)
        return std::nullopt;
    for (const char* list : {"/proc/net/tcp", "/proc/net/tcp6"})
        if (const auto uid = findIn(QString::fromLatin1(list), peer, socket.peerPort(), self,
                                    socket.localPort()))
            return uid;
    return std::nullopt;
}
