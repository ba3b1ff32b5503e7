#include "link/SerialPort.h"

#include "link/DemoHeadend.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSerialPortInfo>
#include <poll.h>

namespace {
// The receive queue holds what one reply buffer can take.
constexpr int kQueueLimit = 65536;

QSerialPort::Parity parityOf(const QString& t) {
    if (t == "Odd")
        return QSerialPort::OddParity;
    if (t == "Even")
        return QSerialPort::EvenParity;
    if (t == "Mark")
        return QSerialPort::MarkParity;
    if (t == "Space")
        return QSerialPort::SpaceParity;
    return QSerialPort::NoParity;
}

QSerialPort::StopBits stopBitsOf(const QString& t) {
    if (t == "2")
        return QSerialPort::TwoStop;
    if (t == "1.5")
        return QSerialPort::OneAndHalfStop;
    return QSerialPort::OneStop;
}

QSerialPort::FlowControl flowOf(const QString& t) {
    if (t == "Hardware")
        return QSerialPort::HardwareControl;
    if (t == "Software")
        return QSerialPort::SoftwareControl;
    return QSerialPort::NoFlowControl;
}
} // namespace

SerialPort::SerialPort(QObject* parent) : QObject(parent) {}

SerialPort::~SerialPort() {
    close();
}

const QString& SerialPort::demoName() {
    static const QString name = QStringLiteral("DEMO");
    return name;
}

void SerialPort::setPortName(const QString& name) {
    m_name = name;
    m_settings.Port = name;
}

QString SerialPort::devicePath(const QString& name) {
    static const QRegularExpression com(QStringLiteral("^COM([1-9][0-9]*)$"),
                                        QRegularExpression::CaseInsensitiveOption);
    const auto m = com.match(name);
    if (m.hasMatch())
        return QStringLiteral("/dev/ttyS%1").arg(m.captured(1).toInt() - 1);
    if (name.startsWith('/'))
        return name;
    return QStringLiteral("/dev/") + name;
}

QStringList SerialPort::availablePorts() {
    QStringList names;
    for (const auto& info : QSerialPortInfo::availablePorts())
        names << info.portName();
    names.sort();
    names.removeDuplicates();
    names << demoName();
    return names;
}

void SerialPort::setBaudRate(qint32 baud) {
    m_settings.BaudRate = QString::number(baud);
    if (m_port)
        m_port->setBaudRate(baud);
}

bool SerialPort::applySettings(const QString& device) {
    bool ok = false;
    const int baud = m_settings.BaudRate.toInt(&ok);
    // A pseudo-terminal (the demo head-end, a simulator) carries no parity bit: the kernel
    // drops it, so the port's check of it fails there and only there.
    const bool pty = QFileInfo(device).canonicalFilePath().startsWith(QLatin1String("/dev/pts/"));
    const bool parity = m_port->setParity(parityOf(m_settings.Parity)) || pty;
    m_port->clearError();
    return m_port->setBaudRate(ok ? baud : 115200) &&
           m_port->setDataBits(QSerialPort::DataBits(m_settings.DataBits.toInt())) && parity &&
           m_port->setStopBits(stopBitsOf(m_settings.StopBits)) &&
           m_port->setFlowControl(flowOf(m_settings.FlowControl));
}

bool SerialPort::open() {
    if (isOpen())
        return true;
    m_error.clear();
    QString device = devicePath(m_name);
    if (m_name.compare(demoName(), Qt::CaseInsensitive) == 0) {
        device = DemoHeadend::devicePath(&m_error);
        if (device.isEmpty())
            return false;
    }
    m_port = std::make_unique<QSerialPort>();
    m_port->setPortName(device);
    if (!m_port->open(QIODevice::ReadWrite)) {
        m_error = QStringLiteral("%1: %2").arg(m_name, m_port->errorString());
        m_port.reset();
        return false;
    }
    if (!applySettings(device)) {
        m_error = QStringLiteral("%1: %2").arg(m_name, m_port->errorString());
        m_port.reset();
        return false;
    }
    // DTR and RTS held inactive; a pseudo-terminal has no modem lines, so failures are moot.
    m_port->setDataTerminalReady(false);
    m_port->setRequestToSend(false);
    m_port->clearError();
    m_queue.clear();
    connect(m_port.get(), &QSerialPort::readyRead, this, &SerialPort::onReadyRead);
    connect(m_port.get(), &QSerialPort::errorOccurred, this, &SerialPort::onError);
    if (!m_sendOnOpen.isEmpty()) {
        m_port->write(m_sendOnOpen);
        m_sendOnOpen.clear();
        flush();
    }
    return true;
}

void SerialPort::sendOnOpen(const QByteArray& bytes) {
    m_sendOnOpen += bytes;
}

void SerialPort::close() {
    if (!m_port)
        return;
    m_port->disconnect(this);
    m_port->close();
    m_port.reset();
    m_queue.clear();
}

bool SerialPort::isOpen() const {
    return m_port && m_port->isOpen();
}

bool SerialPort::write(const QByteArray& bytes) {
    if (!isOpen())
        return false;
    const bool written = m_port->write(bytes) == bytes.size();
    if (written && m_tap)
        m_tap('>', bytes);
    return written;
}

void SerialPort::drain() {
    if (!isOpen())
        return;
    const QByteArray fresh = m_port->readAll();
    if (!fresh.isEmpty() && m_tap)
        m_tap('<', fresh);
    const int room = kQueueLimit - m_queue.size();
    m_queue.append(fresh.left(std::max(0, room)));
}

int SerialPort::bytesWaiting() {
    drain();
    return m_queue.size();
}

QByteArray SerialPort::read(int n) {
    drain();
    const QByteArray out = m_queue.left(n);
    m_queue.remove(0, out.size());
    return out;
}

bool SerialPort::waitForBytes(int ms) {
    if (!isOpen())
        return false;
    const int before = bytesWaiting();
    if (m_port->waitForReadyRead(ms))
        drain();
    return bytesWaiting() > before;
}

void SerialPort::purge(bool rx, bool tx) {
    if (!isOpen())
        return;
    if (rx) {
        drain(); // what is discarded was still on the line
        m_port->clear(QSerialPort::Input);
        m_queue.clear();
    }
    if (tx)
        m_port->clear(QSerialPort::Output);
}

void SerialPort::flush() {
    if (isOpen())
        while (m_port->bytesToWrite() > 0 && m_port->waitForBytesWritten(100)) {
        }
}

void SerialPort::onReadyRead() {
    const int before = m_queue.size();
    drain();
    const QByteArray fresh = m_queue.mid(before);
    if (fresh.isEmpty())
        return;
    if (m_mask == EventMask::RxFlag && fresh.contains(m_eventChar))
        Q_EMIT rxFlag();
    else if (m_mask == EventMask::RxChar)
        Q_EMIT rxChars();
}

void SerialPort::onError(QSerialPort::SerialPortError error) {
    // A device that went away reports read errors without end, then a resource error.
    if (error != QSerialPort::ResourceError && error != QSerialPort::ReadError &&
        error != QSerialPort::PermissionError)
        return;
    // A read can also fail once when a wait for bytes took them first: only a line that has
    // hung up is lost.
    if (error == QSerialPort::ReadError && !hungUp()) {
        m_port->clearError();
        return;
    }
    const QString reason = QStringLiteral("%1: %2").arg(m_name, m_port->errorString());
    // We are inside the port's own signal: let it go once it has returned.
    m_port->disconnect(this);
    m_port->close();
    m_port.release()->deleteLater();
    m_queue.clear();
    Q_EMIT lost(reason);
}

bool SerialPort::hungUp() const {
    pollfd p{int(m_port->handle()), POLLIN, 0};
    return ::poll(&p, 1, 0) < 0 || (p.revents & (POLLHUP | POLLERR | POLLNVAL));
}
