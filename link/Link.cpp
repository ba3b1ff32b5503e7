#include "link/Link.h"

#include "link/EventWait.h"
#include "link/LinkHost.h"

#include <QSettings>

namespace {
const QString kDefaultPort = QStringLiteral("COM1");
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
    if (!m_port.open())
        return false;
    if (m_port.isRemote())
        m_host.SetStatus(QStringLiteral("%1 connected, round trip %2 ms")
                             .arg(m_port.portName())
                             .arg(m_port.roundTripMs()));
    return true;
}

void Link::closePort() {
    m_port.close();
    m_port.setEventMask(SerialPort::EventMask::RxFlag);
}

int Link::effectiveTimeout() const {
    // A reply from a remote line comes later by the round trip.
    return (ReplyTimeout > 0 ? ReplyTimeout : DefaultScanTimeout) + m_port.roundTripMs();
}

void Link::openOrThrow() {
    if (m_port.isOpen())
        return;
    if (!m_port.open())
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
    m_port.setEventMask(SerialPort::EventMask::None);
    if (m_lostDuringWait)
        throw PortError(QStringLiteral("The serial port was lost (%1).").arg(m_lostReason));
    if (ReplyState != 1)
        return false;
    const QByteArray reply = m_port.read(std::min(m_port.bytesWaiting(), RxBufferSize));
    if (reply.isEmpty())
        return false;
    RxBuffer.replace(0, reply.size(), reply);
    RxCount = reply.size();
    m_port.noteExchange(m_answeredAfterMs, int(frame.size() + reply.size()));
    return true;
}

void Link::ComPortRxFlag() {
    m_answeredAfterMs = m_sent.isValid() ? m_sent.elapsed() : 0;
    ReplyState = 1;
    tmRx.stop();
    LinkBusy = false;
}

void Link::tmRxTimer() {
    tmRx.stop();
    ReplyState = 0;
    LinkBusy = false;
}
