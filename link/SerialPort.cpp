#include "link/SerialPort.h"

#include "link/EventWait.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <atomic>
#include <thread>

namespace {
// The receive queue holds what one reply buffer can take.
constexpr int kQueueLimit = 65536;
constexpr int kFlushLimitMs = 100;

LineConfig::Parity parityOf(const QString& t) {
    using P = LineConfig::Parity;
    if (t == "Odd")
        return P::Odd;
    if (t == "Even")
        return P::Even;
    if (t == "Mark")
        return P::Mark;
    if (t == "Space")
        return P::Space;
    return P::None;
}

LineConfig::Flow flowOf(const QString& t) {
    if (t == "Hardware")
        return LineConfig::Flow::Hardware;
    if (t == "Software")
        return LineConfig::Flow::Software;
    return LineConfig::Flow::None;
}
} // namespace

SerialPort::SerialPort(QObject* parent) : QObject(parent) {}

SerialPort::~SerialPort() {
    close();
}

void SerialPort::setPortName(const QString& name) {
    m_name = name;
    m_settings.Port = name;
}

bool SerialPort::isRemote() const {
    return Transport::isRemote(m_name);
}

LineConfig SerialPort::lineConfig() const {
    LineConfig line;
    bool ok = false;
    const int baud = m_settings.BaudRate.toInt(&ok);
    line.baudRate = ok && baud > 0 ? baud : 115200;
    line.dataBits = m_settings.DataBits.toInt();
    line.parity = parityOf(m_settings.Parity);
    line.stopBits = m_settings.StopBits == "2" ? 2 : m_settings.StopBits == "1.5" ? 3 : 1;
    line.flow = flowOf(m_settings.FlowControl);
    return line;
}

bool SerialPort::open() {
    return isOpen() || open(Transport::forPort(m_name));
}

bool SerialPort::open(std::unique_ptr<Transport> line) {
    if (isOpen())
        return true;
    m_error.clear();
    if (connecting()) {
        m_error = QStringLiteral("%1: still connecting").arg(m_name);
        return false;
    }
    if (!openTransport(*line)) {
        m_error = line->errorString().isEmpty()
                      ? QStringLiteral("%1: connecting was stopped").arg(m_name)
                      : line->errorString();
        return false;
    }
    m_transport = std::move(line);
    m_queue.clear();
    m_notifier = new QSocketNotifier(m_transport->descriptor(), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] { takeIn(true); });
    if (!m_sendOnOpen.isEmpty()) {
        const QByteArray pending = std::exchange(m_sendOnOpen, {});
        write(pending);
        flush();
    }
    return isOpen();
}

bool SerialPort::openTransport(Transport& line) {
    if (!m_openInBackground || line.kind() == Transport::Kind::Device)
        return line.open(lineConfig());
    std::atomic<bool> done = false;
    bool opened = false;
    std::thread worker([&, config = lineConfig()] {
        opened = line.open(config);
        done = true;
        // Wakes the wait below.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [] {}, Qt::QueuedConnection);
    });
    m_connecting = &line;
    m_connectStopped = false;
    EventWait::until([&] { return done.load(); });
    m_connecting = nullptr;
    worker.join();
    if (opened && m_connectStopped) // stopped too late to keep it from opening
        line.close();
    return opened && !m_connectStopped;
}

void SerialPort::stopConnecting() {
    if (!m_connecting)
        return;
    m_connectStopped = true;
    m_connecting->cancel();
}

void SerialPort::sendOnOpen(const QByteArray& bytes) {
    m_sendOnOpen += bytes;
}

void SerialPort::close() {
    stopConnecting();
    dropNotifier();
    m_transport.reset();
    m_queue.clear();
}

void SerialPort::dropNotifier() {
    if (!m_notifier)
        return;
    // Perhaps inside the notifier's own signal: it goes once that has returned.
    m_notifier->setEnabled(false);
    m_notifier->deleteLater();
    m_notifier = nullptr;
}

bool SerialPort::isOpen() const {
    return m_transport && m_transport->isOpen();
}

bool SerialPort::write(const QByteArray& bytes) {
    if (!isOpen())
        return false;
    if (m_transport->write(bytes)) {
        if (m_tap)
            m_tap('>', bytes);
        return true;
    }
    takeIn(); // a line that has gone is noticed now, not at the next arrival
    return false;
}

qint64 SerialPort::writeSome(const QByteArray& bytes) {
    if (!isOpen())
        return -1;
    const qint64 n = m_transport->writeSome(bytes);
    if (n > 0 && m_tap)
        m_tap('>', bytes.left(n));
    if (n < 0)
        takeIn();
    return n;
}

void SerialPort::takeIn(bool fromNotifier) {
    if (!isOpen())
        return;
    QByteArray fresh;
    const bool alive = m_transport->readAvailable(fresh);
    if (!fresh.isEmpty()) {
        if (m_tap)
            m_tap('<', fresh);
        if (m_queue.isEmpty())
            m_firstByte.start();
        const int room = kQueueLimit - int(m_queue.size());
        m_queue.append(fresh.left(std::max(0, room)));
    }
    // The terminator counts wherever bytes are taken in, also when the queue is full and
    // they are dropped; a reply that came before the line went counts too.
    if (m_mask == EventMask::RxFlag && fresh.contains(m_eventChar))
        Q_EMIT rxFlag();
    if (!alive) {
        if (m_transport)
            onLost();
        return;
    }
    if (m_mask != EventMask::RxChar || m_queue.isEmpty())
        return;
    if (fromNotifier)
        Q_EMIT rxChars();
    else if (!fresh.isEmpty()) // taken in by a read: the reader hears of it once that is done
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (m_mask == EventMask::RxChar && !m_queue.isEmpty())
                    Q_EMIT rxChars();
            },
            Qt::QueuedConnection);
}

void SerialPort::onLost() {
    const QString reason = m_transport->errorString();
    dropNotifier();
    m_transport.reset();
    // What came before the line went stays readable; the next open starts afresh.
    Q_EMIT lost(reason);
}

int SerialPort::bytesWaiting() {
    takeIn();
    return int(m_queue.size());
}

QByteArray SerialPort::read(int n) {
    takeIn();
    const QByteArray out = m_queue.left(n);
    m_queue.remove(0, out.size());
    return out;
}

bool SerialPort::waitForBytes(int ms) {
    if (!isOpen())
        return false;
    const qsizetype before = m_queue.size();
    if (m_transport->waitReadable(ms))
        takeIn();
    return m_queue.size() > before;
}

void SerialPort::purge(bool rx, bool tx) {
    if (!isOpen())
        return;
    if (rx)
        dropReceived();
    if (isOpen())
        m_transport->purge(rx, tx);
}

void SerialPort::flush() {
    if (isOpen())
        m_transport->drain(kFlushLimitMs);
}

bool SerialPort::lineBreak() {
    const bool opened = open();
    const bool sent = opened && m_transport->lineBreak();
    if (opened && !sent)
        m_error = m_transport ? m_transport->errorString() : m_error;
    close();
    m_mask = EventMask::RxFlag;
    return sent;
}

void SerialPort::dropReceived() {
    takeIn(); // what is discarded was still on the line
    m_queue.clear();
}

qint64 SerialPort::firstByteAgeMs() {
    takeIn();
    return m_queue.isEmpty() ? -1 : m_firstByte.elapsed();
}

int SerialPort::roundTripMs() const {
    if (!isRemote())
        return 0;
    return isOpen() ? m_transport->roundTrip().ms() : RoundTrip::remembered(m_name);
}

int SerialPort::roundTripMarginMs() const {
    if (!isRemote())
        return 0;
    return isOpen() ? m_transport->roundTrip().marginMs() : RoundTrip(m_name).marginMs();
}

int SerialPort::roundTripSamples() const {
    return isRemote() ? RoundTrip(m_name).samples() : 0;
}

QString SerialPort::roundTripText() const {
    return QStringLiteral("round trip %1 ms, learnt from %2 replies")
        .arg(roundTripMs())
        .arg(roundTripSamples());
}

void SerialPort::noteSilence() {
    if (isOpen())
        m_transport->noteSilence();
}

void SerialPort::relearnRoundTrip() {
    if (isOpen())
        m_transport->relearnRoundTrip();
}

bool SerialPort::roundTripGuessed() const {
    return isRemote() && RoundTrip(m_name).guessed();
}

void SerialPort::noteReplyTime(qint64 msAfterFrame) {
    if (isOpen())
        m_transport->noteReplyTime(msAfterFrame);
}
