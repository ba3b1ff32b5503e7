#include "link/Transport.h"

#include "link/TransportKinds.h"

#include "link/AgentAddress.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QHash>
#include <QMutex>
#include <QRegularExpression>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
// A round trip that never varies still gets this much on top: timers and schedulers do.
constexpr int kLeastDeviationMs = 10;
constexpr int kWritePerByteMs = 50;
constexpr int kWriteConstantMs = 1000;
// A writable socket has room for at least a third of its send buffer: far more than this.
constexpr int kEscapedPieceBytes = 256;

QMutex g_rememberedMutex;
QHash<QString, RoundTrip::State> g_remembered;

const QRegularExpression& remotePattern() {
    // scheme://host:port, the host an IPv6 address in brackets or anything without a colon.
    static const QRegularExpression re(
        QStringLiteral("^(tcp|rfc2217)://(\\[[0-9A-Fa-f:.]+\\]|[^:/\\[\\]]+):([0-9]{1,5})$"),
        QRegularExpression::CaseInsensitiveOption);
    return re;
}
} // namespace

RoundTrip::RoundTrip(const QString& portName) : m_name(portName.toLower()) {
    QMutexLocker lock(&g_rememberedMutex);
    m_state = g_remembered.value(m_name);
}

int RoundTrip::remembered(const QString& portName) {
    RoundTrip known(portName);
    return known.ms();
}

int RoundTrip::ms() const {
    return m_state.samples > 0 ? std::max(m_state.floor, int(std::lround(m_state.srtt)))
                               : m_state.floor;
}

int RoundTrip::marginMs() const {
    if (m_state.samples == 0)
        return guessed() ? m_state.floor + kLeastDeviationMs
                         : std::max(m_state.floor, UnknownMarginMs);
    const double deviation = std::max<double>(kLeastDeviationMs, 4 * m_state.rttvar);
    return std::max(m_state.floor, int(std::ceil(m_state.srtt + deviation)));
}

void RoundTrip::floor(qint64 ms) {
    m_state.floor = int(std::clamp<qint64>(ms, 0, UnknownMarginMs));
    remember();
}

void RoundTrip::silence() {
    if (m_state.samples > 0)
        return;
    ++m_state.silent;
    remember();
}

void RoundTrip::relearn() {
    m_state = State{0, 0, m_state.floor, 0, m_state.silent, true};
    remember();
}

void RoundTrip::sample(qint64 ms) {
    if (guessed()) {
        m_state.heard = true;
        remember();
        return;
    }
    // A reply that took longer than a connect may is a slow module, not the network.
    const double r = double(std::clamp<qint64>(ms, 0, Transport::ConnectLimitMs));
    State& s = m_state;
    if (s.samples++ == 0) {
        s.srtt = r;
        s.rttvar = r / 2;
    } else {
        s.rttvar = 0.75 * s.rttvar + 0.25 * std::abs(s.srtt - r);
        s.srtt = 0.875 * s.srtt + 0.125 * r;
    }
    remember();
}

void RoundTrip::remember() const {
    if (m_name.isEmpty())
        return;
    QMutexLocker lock(&g_rememberedMutex);
    g_remembered.insert(m_name, m_state);
}

Transport::Transport(Kind kind, const QString& portName)
    : m_kind(kind), m_name(portName), m_roundTrip(kind == Kind::Device ? QString() : portName) {}

Transport::~Transport() = default;

Transport::Kind Transport::kindOf(const QString& portName) {
    if (portName.startsWith(QLatin1String("tcp://"), Qt::CaseInsensitive))
        return Kind::RawTcp;
    if (portName.startsWith(QLatin1String("rfc2217://"), Qt::CaseInsensitive))
        return Kind::Rfc2217;
    if (AgentAddress::isAgentPort(portName))
        return Kind::Agent;
    return Kind::Device;
}

QString Transport::checkRemoteName(const QString& portName) {
    if (kindOf(portName) == Kind::Agent) {
        AgentAddress address;
        QString error;
        return AgentAddress::parse(portName, &address, &error) ? QString() : error;
    }
    const auto m = remotePattern().match(portName);
    const int port = m.hasMatch() ? m.captured(3).toInt() : 0;
    if (port >= 1 && port <= 65535)
        return {};
    return QStringLiteral("%1: not a remote port (tcp://HOST:PORT, rfc2217://HOST:PORT, "
                          "ssh://[USER@]HOST[:PORT][/LINE] or agent:SOCKET)")
        .arg(portName);
}

std::unique_ptr<Transport> Transport::forPort(const QString& portName) {
    const Kind kind = kindOf(portName);
    if (kind == Kind::Device)
        return std::make_unique<DeviceTransport>(portName);
    if (kind == Kind::Agent)
        return std::make_unique<AgentTransport>(portName);
    const auto m = remotePattern().match(portName);
    QString host = m.captured(2);
    if (host.startsWith('['))
        host = host.mid(1, host.size() - 2);
    return std::make_unique<NetTransport>(kind, portName, host, quint16(m.captured(3).toUInt()));
}

std::unique_ptr<Transport> Transport::overSocket(int socket, const QString& name) {
    return std::make_unique<AgentTransport>(name, socket);
}

bool Transport::fail(const QString& reason) {
    m_error = QStringLiteral("%1: %2").arg(m_name, reason);
    release();
    return false;
}

void Transport::close() {
    release();
}

void Transport::release() {
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

bool Transport::waitReadable(int ms) const {
    if (m_fd < 0)
        return false;
    QDeadlineTimer deadline(std::max(0, ms));
    pollfd p{m_fd, POLLIN, 0};
    int ready = 0;
    do {
        const qint64 slice = std::min<qint64>(CancelCheckMs, deadline.remainingTime());
        ready = ::poll(&p, 1, int(slice));
    } while (((ready < 0 && errno == EINTR) || (ready == 0 && !deadline.hasExpired())) &&
             !m_cancelled);
    return ready > 0;
}

void Transport::drain(int limitMs) {
    QElapsedTimer clock;
    clock.start();
    int queued = 0;
    // TIOCOUTQ and SIOCOUTQ are the same request: bytes not yet sent.
    while (m_fd >= 0 && ::ioctl(m_fd, TIOCOUTQ, &queued) == 0 && queued > 0 &&
           clock.elapsed() < limitMs)
        ::poll(nullptr, 0, 1);
}

bool Transport::writeAll(const QByteArray& bytes, bool socket) {
    QElapsedTimer clock;
    clock.start();
    const qint64 limit = kWriteConstantMs + qint64(kWritePerByteMs) * bytes.size();
    qsizetype done = 0;
    while (done < bytes.size() && m_fd >= 0) {
        const char* from = bytes.constData() + done;
        const size_t left = size_t(bytes.size() - done);
        const ssize_t n =
            socket ? ::send(m_fd, from, left, MSG_NOSIGNAL) : ::write(m_fd, from, left);
        if (n > 0) {
            done += n;
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return false;
        const qint64 wait = limit - clock.elapsed();
        if (wait <= 0)
            return false;
        pollfd p{m_fd, POLLOUT, 0};
        ::poll(&p, 1, int(wait));
    }
    return done == bytes.size();
}

qint64 Transport::writeSome(const QByteArray& bytes) {
    if (m_fd < 0)
        return -1;
    if (m_kind == Kind::Rfc2217) {
        // Escaped bytes cannot be cut anywhere: a piece the socket surely takes whole.
        pollfd p{m_fd, POLLOUT, 0};
        if (::poll(&p, 1, 0) <= 0)
            return 0;
        const QByteArray piece = bytes.left(kEscapedPieceBytes);
        return write(piece) ? piece.size() : -1;
    }
    const ssize_t n = m_kind == Kind::Device
                          ? ::write(m_fd, bytes.constData(), size_t(bytes.size()))
                          : ::send(m_fd, bytes.constData(), size_t(bytes.size()), MSG_NOSIGNAL);
    if (n >= 0)
        return n;
    return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? 0 : -1;
}

bool Transport::keepReading(qint64 n, const QString& goneText) {
    if (n > 0)
        return true;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        return false;
    const QString reason = n == 0 ? goneText : QString::fromLocal8Bit(std::strerror(errno));
    fail(reason);
    return false;
}
