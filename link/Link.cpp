#include "link/Link.h"

#include "link/EventWait.h"
#include "link/LinkHost.h"

#include <QSettings>

namespace {
const QString kDefaultPort = QStringLiteral("COM1");
constexpr int kConsoleEndQuietMs = 100; // as long as the console's own close waits
} // namespace

Link::Link(ModuleTable& modules, SharedState& state, LinkHost& host, QObject* parent)
    : QObject(parent), RxBuffer(RxBufferSize, '\0'), m_modules(modules), m_state(state),
      m_host(host) {
    tmRx.setSingleShot(true);
    tmRx.setTimerType(Qt::PreciseTimer);
    connect(&tmRx, &QTimer::timeout, this, &Link::tmRxTimer);
    connect(&m_port, &SerialPort::rxFlag, this, &Link::ComPortRxFlag);
    connect(&m_port, &SerialPort::lost, this, [this](const QString& reason) {
        m_lostReason = reason;
        m_lostInUse = reason.contains(QLatin1String(Transport::InUseText));
        if (ReplyState == -1) {
            m_lostDuringWait = true;
            tmRxTimer();
        }
        Q_EMIT portLost(reason);
    });
}

void Link::LoadPortSettings() {
    QSettings ini(PortSettingsFile, QSettings::IniFormat);
    m_port.settings().load(ini);
    m_port.setPortName(m_port.settings().Port);
}

bool Link::StorePortSettings() {
    QSettings ini(PortSettingsFile, QSettings::IniFormat);
    m_port.settings().Port = m_port.portName();
    m_port.settings().store(ini);
    ini.sync();
    return ini.status() == QSettings::NoError;
}

bool Link::OpenLink(const QString& portName) {
    LoadPortSettings();
    if (!portName.isEmpty())
        m_port.setPortName(portName);
    if (m_port.portName().isEmpty())
        m_port.setPortName(kDefaultPort);
    // After loading, so that the file cannot change the line.
    m_port.settings().applyFixed();
    m_port.setEventMask(SerialPort::EventMask::RxFlag);
    m_port.close();
    if (!openPort())
        return false;
    endStrayConsole(QStringLiteral("the line was opened"));
    // An agent's line has no round trip of its own to tell before its first reply.
    if (Transport::kindOf(m_port.portName()) == Transport::Kind::Agent)
        m_host.SetStatus(
            QStringLiteral("%1 connected, the site agent lends its line").arg(m_port.portName()));
    else if (m_port.isRemote())
        m_host.SetStatus(QStringLiteral("%1 connected, round trip %2 ms")
                             .arg(m_port.portName())
                             .arg(m_port.roundTripMs()));
    return true;
}

bool Link::openPort() {
    m_lostInUse = false;
    const bool connecting = m_port.isRemote() && m_port.openInBackground();
    if (connecting)
        m_host.SetStatus(QStringLiteral("Connecting to %1 …").arg(m_port.portName()));
    const bool opened = m_port.open();
    if (connecting && !opened)
        m_host.SetStatus(QStringLiteral("Not connected: %1").arg(m_port.errorString()));
    return opened;
}

void Link::closePort() {
    m_lostInUse = false;
    if (m_port.isRemote() && m_port.isOpen())
        m_port.note(m_port.roundTripText());
    m_port.close();
    m_port.setEventMask(SerialPort::EventMask::RxFlag);
}

void Link::sendConsoleEnd(const QString& why) {
    m_port.note(QStringLiteral("ending a console that may still be open: %1").arg(why));
    m_port.write(ConsoleEnd);
}

void Link::endStrayConsole(const QString& why) {
    sendConsoleEnd(why);
    m_port.flush();
    m_host.pause(kConsoleEndQuietMs);
    m_port.purge(true, false);
}

int Link::effectiveTimeout() const {
    // A reply from a remote line comes later by the round trip.
    return (ReplyTimeout > 0 ? ReplyTimeout : DefaultScanTimeout) + m_port.roundTripMarginMs();
}

void Link::openOrThrow() {
    if (m_port.isOpen())
        return;
    // A line that another client holds is not asked for again behind the user's back (it
    // would only be refused again, and a refusal that comes between two frames would pass for
    // modules that do not answer): the operation ends, saying why.
    if (m_lostInUse)
        throw PortError(lostText(m_lostReason));
    if (!openPort())
        throw PortError(
            QStringLiteral("The serial port cannot be opened (%1).").arg(m_port.errorString()));
}

bool Link::SendCommand(char terminator, const QByteArray& body, char tail) {
    try {
        openOrThrow();
    } catch (const PortError&) {
        LinkBusy = false; // the transaction has ended, without a frame
        throw;
    }
    if (m_port.isRemote())
        dropLateReply();
    ReplyState = -1;
    m_lostDuringWait = false;
    m_port.setEventChar(terminator);
    m_port.setEventMask(SerialPort::EventMask::RxFlag);
    // The timer runs from before the write, so a reply faster than the write is not missed.
    tmRx.start(effectiveTimeout());
    const QByteArray frame = QByteArray(1, '!') + body + tail;
    m_sent.start();
    m_port.write(frame);
    EventWait::until([this] { return ReplyState != -1; });
    if (m_port.isRemote())
        awaitReplyInProgress();
    m_port.setEventMask(SerialPort::EventMask::None);
    if (m_lostDuringWait)
        throw PortError(lostText(m_lostReason));
    m_replyMissing = ReplyState != 1;
    if (m_replyMissing) {
        m_port.noteSilence();
        return false;
    }
    const qint64 firstByteAge = m_port.firstByteAgeMs();
    const QByteArray reply = m_port.read(std::min(m_port.bytesWaiting(), RxBufferSize));
    if (reply.isEmpty())
        return false;
    RxBuffer.replace(0, reply.size(), reply);
    RxCount = reply.size();
    m_port.noteReplyTime(m_sent.elapsed() - firstByteAge);
    return true;
}

void Link::awaitReplyInProgress() {
    // A reply that is still coming in when its time-out ends was held up on the way (a busy
    // network, a busy PC), not lost: cut there, its rest would be taken for the next reply.
    // It is waited for as long as it keeps coming, each pause up to the round trip's margin.
    QElapsedTimer extra;
    extra.start();
    qsizetype seen = 0;
    while (ReplyState == 0 && !m_lostDuringWait && extra.elapsed() < Transport::ConnectLimitMs) {
        const qsizetype now = m_port.bytesWaiting();
        if (now <= seen)
            return;
        seen = now;
        ReplyState = -1;
        tmRx.start(m_port.roundTripMarginMs());
        EventWait::until([this] { return ReplyState != -1; });
    }
}

void Link::relearnRoundTrip() {
    EventWait::pause(RoundTrip::UnknownMarginMs);
    m_port.dropReceived();
    m_port.relearnRoundTrip();
}

void Link::dropLateReply() {
    // Bytes that came after a time-out are that command's late reply: when it began tells
    // the round trip; taken for the next command's reply, they would shift every reply by one.
    const qint64 age = m_port.firstByteAgeMs();
    if (age < 0)
        return;
    if (m_replyMissing && m_sent.isValid())
        m_port.noteReplyTime(m_sent.elapsed() - age);
    m_port.dropReceived();
}

QString Link::lostText(const QString& reason) {
    const qsizetype inUse = reason.indexOf(QLatin1String(Transport::InUseText));
    if (inUse < 0)
        return QStringLiteral("The serial port was lost (%1).").arg(reason);
    QString text = reason.mid(inUse) + QLatin1Char('.');
    text[0] = text[0].toUpper();
    return text;
}

void Link::ComPortRxFlag() {
    ReplyState = 1;
    tmRx.stop();
    LinkBusy = false;
}

void Link::tmRxTimer() {
    tmRx.stop();
    ReplyState = 0;
    LinkBusy = false;
}
