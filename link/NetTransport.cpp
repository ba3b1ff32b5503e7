// A terminal server's port over TCP: a raw stream, or telnet with the com-port option.
#include "link/TransportKinds.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {
constexpr int kBreakMs = 2; // a break held for a few frame times of 115200 baud
constexpr int kControlAnswerMs = 1000;
constexpr int kRetryMs = 50;
constexpr int kFirstBytes = 120;

QString socketError() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

// What a server said in words: its printable characters (NULs and line ends are no words).
QString wordsOf(const QByteArray& bytes) {
    QString text;
    for (const char c : bytes)
        text += c >= 0x20 && c < 0x7f ? QChar(c) : QChar(' ');
    return text.simplified();
}

quint8 parityValue(LineConfig::Parity p) {
    using P = LineConfig::Parity;
    switch (p) {
    case P::None:
        return Telnet::ParityNone;
    case P::Odd:
        return Telnet::ParityOdd;
    case P::Mark:
        return Telnet::ParityMark;
    case P::Space:
        return Telnet::ParitySpace;
    default:
        return Telnet::ParityEven;
    }
}

quint8 stopValue(int stopBits) {
    return stopBits == 3   ? Telnet::StopOneAndHalf
           : stopBits >= 2 ? Telnet::StopTwo
                           : Telnet::StopOne;
}

// Connects a non-blocking socket within the time left; 0 or the errno of the failure.
int connectWithin(int fd, const addrinfo* a, const QDeadlineTimer& deadline,
                  const std::atomic<bool>& cancelled) {
    if (::connect(fd, a->ai_addr, a->ai_addrlen) == 0)
        return 0;
    if (errno != EINPROGRESS)
        return errno;
    pollfd p{fd, POLLOUT, 0};
    int ready = 0;
    while (ready == 0 && !deadline.hasExpired() && !cancelled)
        ready = ::poll(&p, 1,
                       int(std::min<qint64>(Transport::CancelCheckMs, deadline.remainingTime())));
    if (cancelled)
        return ECANCELED;
    if (ready <= 0)
        return ETIMEDOUT;
    int error = 0;
    socklen_t size = sizeof error;
    ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size);
    return error;
}

// A name lookup on a thread of its own: the resolver has no time limit of its own (a slow
// name server holds it for as long as it likes), the one who waits for it does. Whichever
// of the two lets go last frees the result.
struct Lookup {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    int rc = EAI_AGAIN;
    addrinfo* found = nullptr;
    ~Lookup() {
        if (found)
            ::freeaddrinfo(found);
    }
};

std::shared_ptr<Lookup> startLookup(const QByteArray& host, const QByteArray& port) {
    auto lookup = std::make_shared<Lookup>();
    std::thread([lookup, host, port] {
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* found = nullptr;
        const int rc = ::getaddrinfo(host.constData(), port.constData(), &hints, &found);
        std::lock_guard lock(lookup->mutex);
        lookup->rc = rc;
        lookup->found = found;
        lookup->finished = true;
        lookup->done.notify_all();
    }).detach();
    return lookup;
}

// Waits for the lookup until the deadline or a cancel; whether it finished.
bool awaitLookup(Lookup& lookup, const QDeadlineTimer& deadline,
                 const std::atomic<bool>& cancelled) {
    std::unique_lock lock(lookup.mutex);
    while (!lookup.finished && !deadline.hasExpired() && !cancelled) {
        const auto slice = std::min<qint64>(Transport::CancelCheckMs, deadline.remainingTime());
        lookup.done.wait_for(lock, std::chrono::milliseconds(slice));
    }
    return lookup.finished;
}
} // namespace

bool NetTransport::connectSocket() {
    // Lookup and connect share one limit.
    const QDeadlineTimer deadline(ConnectLimitMs);
    const auto lookup = startLookup(m_host.toUtf8(), QByteArray::number(m_port));
    if (!awaitLookup(*lookup, deadline, m_cancelled))
        return fail(m_cancelled ? cancelledText()
                                : QStringLiteral("host not found (no answer from the name "
                                                 "service within %1 s)")
                                      .arg(ConnectLimitMs / 1000));
    if (lookup->rc != 0)
        return fail(QStringLiteral("host not found (%1)")
                        .arg(QString::fromLocal8Bit(gai_strerror(lookup->rc))));
    QElapsedTimer clock;
    clock.start();
    int error = EHOSTUNREACH;
    for (const addrinfo* a = lookup->found; a && m_fd < 0 && !m_cancelled; a = a->ai_next) {
        m_fd =
            ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (m_fd < 0)
            continue;
        error = connectWithin(m_fd, a, deadline, m_cancelled);
        if (error != 0)
            Transport::release();
    }
    if (m_fd < 0) {
        errno = error;
        return fail(error == ECANCELED   ? cancelledText()
                    : error == ETIMEDOUT ? QStringLiteral("no answer from the terminal server")
                                         : socketError());
    }
    // Frames are small and each one waits for its answer: no coalescing.
    const int on = 1;
    ::setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    ::setsockopt(m_fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    // The handshake is one round trip, but perhaps only to a forwarder nearby.
    m_roundTrip.floor(clock.elapsed());
    return true;
}

QString NetTransport::cancelledText() {
    return QStringLiteral("connecting was stopped");
}

bool NetTransport::open(const LineConfig& line) {
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        release();
        m_error.clear();
        m_turnedAway = false;
        if (connectSocket() && (m_kind == Kind::RawTcp || setUpComPort(line)))
            return true;
        if (m_cancelled)
            return fail(cancelledText());
        // A server that still holds our previous connection turns a new one away at once
        // ("Port already in use"): it is asked again while the time allows.
        if (!m_turnedAway || clock.elapsed() + kRetryMs >= ConnectLimitMs)
            return false;
        ::poll(nullptr, 0, kRetryMs);
    }
}

bool NetTransport::setUpComPort(const LineConfig& line) {
    m_options.offered();
    if (!writeAll(Telnet::greeting(), true))
        return fail(socketError());
    QElapsedTimer clock;
    clock.start();
    while (!m_options.comPortAgreed()) {
        if (m_options.comPortRefused())
            return fail(
                QStringLiteral("the terminal server refuses the com-port option (RFC 2217)"));
        const int left = int(ConnectLimitMs - clock.elapsed());
        if (left <= 0 || !waitReadable(left))
            return fail(QStringLiteral("the terminal server does not take the com-port option"));
        if (!takeIn()) {
            m_turnedAway = true;
            return false;
        }
    }
    const QList<QPair<quint8, QByteArray>> settings{
        {Telnet::SetBaudRate, Telnet::baudValue(quint32(line.baudRate))},
        {Telnet::SetDataSize, QByteArray(1, char(line.dataBits))},
        {Telnet::SetParity, QByteArray(1, char(parityValue(line.parity)))},
        {Telnet::SetStopSize, QByteArray(1, char(stopValue(line.stopBits)))},
    };
    QByteArray request;
    for (const auto& [command, value] : settings)
        request += Telnet::comPort(command, value);
    // No flow control; DTR and RTS held off.
    for (const quint8 control : {Telnet::NoFlowControl, Telnet::DtrOff, Telnet::RtsOff})
        request += Telnet::comPort(Telnet::SetControl, control);
    m_answers.clear();
    clock.restart();
    if (!writeAll(request, true))
        return fail(socketError());
    for (const auto& [command, value] : settings) {
        QByteArray answer;
        if (!awaitAnswer(command, int(ConnectLimitMs - clock.elapsed()), &answer))
            return isOpen() ? fail(QStringLiteral("the terminal server does not set the line"))
                            : false;
        if (answer != value)
            return fail(
                QStringLiteral("the terminal server cannot set the line as asked "
                               "(command %1: %2 instead of %3)")
                    .arg(command)
                    .arg(QString::fromLatin1(answer.toHex()), QString::fromLatin1(value.toHex())));
    }
    // The server's answers come from its end of the network: a true round trip.
    m_roundTrip.sample(clock.elapsed());
    return true;
}

bool NetTransport::awaitAnswer(quint8 command, int limitMs, QByteArray* value) {
    QElapsedTimer clock;
    clock.start();
    const quint8 answer = quint8(command + Telnet::ServerOffset);
    while (!m_answers.contains(answer)) {
        const int left = int(limitMs - clock.elapsed());
        if (left <= 0 || !waitReadable(left) || !takeIn())
            return false;
    }
    if (value)
        *value = m_answers.take(answer);
    return true;
}

void NetTransport::onEvent(const Telnet::Event& e) {
    if (e.verb == Telnet::SB) {
        if (e.option == Telnet::ComPort && !e.data.isEmpty())
            m_answers.insert(quint8(e.data.at(0)), e.data.mid(1));
        return;
    }
    const QByteArray reply = m_options.answer(e.verb, e.option);
    if (!reply.isEmpty())
        writeAll(reply, true);
}

bool NetTransport::takeIn() {
    char buf[4096];
    while (m_fd >= 0) {
        const ssize_t n = ::recv(m_fd, buf, sizeof buf, MSG_DONTWAIT);
        // A reset right after the server's word on it is a close too.
        if (n == 0 || (n < 0 && errno == ECONNRESET && saidInUse())) {
            fail(closedText());
            break;
        }
        if (!keepReading(n, {}))
            break;
        QByteArray data(buf, int(n));
        QList<Telnet::Event> events;
        if (m_kind == Kind::Rfc2217)
            data = m_decoder.feed(data, &events);
        m_first += data.left(kFirstBytes - m_first.size());
        m_data += data;
        for (const Telnet::Event& e : events)
            onEvent(e);
    }
    return isOpen();
}

bool NetTransport::saidInUse() const {
    return m_first.contains(" in use");
}

QString NetTransport::closedText() const {
    // A server that lends its line to one client at a time tells the next one so and closes
    // (the monitor's bridge: "... the line is in use by ...").
    if (saidInUse()) {
        QString said = wordsOf(m_first);
        if (said.endsWith(QLatin1Char('.')))
            said.chop(1);
        return QStringLiteral("%1 (%2)").arg(QLatin1String(InUseText), said);
    }
    QString text = QStringLiteral("the terminal server closed the connection");
    // Before the com-port option is agreed, what came is the server's own word on it.
    const QString said = wordsOf(m_data).left(80);
    if (m_kind == Kind::Rfc2217 && !m_options.comPortAgreed() && !said.isEmpty())
        text += QStringLiteral(" (%1)").arg(said);
    return text;
}

bool NetTransport::readAvailable(QByteArray& data) {
    const bool open = takeIn();
    data += m_data;
    m_data.clear();
    return open;
}

bool NetTransport::write(const QByteArray& bytes) {
    return writeAll(m_kind == Kind::Rfc2217 ? Telnet::escape(bytes) : bytes, true);
}

void NetTransport::purge(bool rx, bool tx) {
    if (rx) {
        takeIn();
        m_data.clear();
    }
    if (m_kind != Kind::Rfc2217 || !(rx || tx))
        return;
    const quint8 what = rx && tx ? Telnet::PurgeBoth
                        : rx     ? Telnet::PurgeReceive
                                 : Telnet::PurgeTransmit;
    writeAll(Telnet::comPort(Telnet::PurgeData, what), true);
}

bool NetTransport::lineBreak() {
    if (m_kind == Kind::RawTcp) {
        m_error = QStringLiteral("%1: a raw TCP line carries data only, it cannot send a break")
                      .arg(m_name);
        return false;
    }
    // The server holds the break from the first command to the second; it has taken the
    // first when it answers.
    for (const quint8 control : {Telnet::BreakOn, Telnet::BreakOff}) {
        m_answers.remove(quint8(Telnet::SetControl + Telnet::ServerOffset));
        if (!writeAll(Telnet::comPort(Telnet::SetControl, control), true))
            return fail(socketError());
        awaitAnswer(Telnet::SetControl, kControlAnswerMs + m_roundTrip.marginMs());
        if (control == Telnet::BreakOn)
            ::poll(nullptr, 0, kBreakMs);
    }
    return isOpen();
}

void NetTransport::release() {
    if (m_fd >= 0) {
        // Unread bytes would make the close a reset, which can cost the server the last
        // bytes we sent: read them away, then end our direction first.
        char buf[4096];
        while (::recv(m_fd, buf, sizeof buf, MSG_DONTWAIT) > 0) {
        }
        ::shutdown(m_fd, SHUT_WR);
    }
    Transport::release();
    m_decoder = Telnet::Decoder();
    m_options = Telnet::Options();
    m_data.clear();
    m_answers.clear();
    m_first.clear();
}
