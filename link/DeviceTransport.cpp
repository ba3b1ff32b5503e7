// The local serial device under the link and the pages' raw channel.
#include "link/DemoHeadend.h"
#include "link/PortInfo.h"
#include "link/TransportKinds.h"

#include <QRegularExpression>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

namespace {
constexpr int kBreakBaud = 19200;
// Bits of one character on the line: start, 8 data, parity, 2 stop.
constexpr int kBitsPerChar = 12;

QString deviceError() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

bool isPseudoTerminal(int fd) {
    struct stat st {};
    // Unix98 pseudo-terminal slaves have the majors 136 to 143.
    return ::fstat(fd, &st) == 0 && S_ISCHR(st.st_mode) && major(st.st_rdev) >= 136 &&
           major(st.st_rdev) <= 143;
}

speed_t speedOf(qint32 baud) {
    static const std::pair<qint32, speed_t> speeds[] = {
        {110, B110},       {300, B300},       {600, B600},       {1200, B1200},     {2400, B2400},
        {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},   {57600, B57600},
        {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600},
    };
    for (const auto& [rate, code] : speeds)
        if (rate == baud)
            return code;
    return B0;
}

tcflag_t sizeOf(int dataBits) {
    switch (dataBits) {
    case 5:
        return CS5;
    case 6:
        return CS6;
    case 7:
        return CS7;
    default:
        return CS8;
    }
}

void applyLine(termios& tio, const LineConfig& line) {
    ::cfmakeraw(&tio);
    tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS | HUPCL);
    tio.c_cflag |= sizeOf(line.dataBits) | CLOCAL | CREAD;
    using P = LineConfig::Parity;
    if (line.parity != P::None)
        tio.c_cflag |= PARENB;
    if (line.parity == P::Odd || line.parity == P::Mark)
        tio.c_cflag |= PARODD;
    if (line.parity == P::Mark || line.parity == P::Space)
        tio.c_cflag |= CMSPAR;
    if (line.stopBits >= 2) // 1.5 stop bits is what a UART gives for 2 with 5 data bits
        tio.c_cflag |= CSTOPB;
    if (line.flow == LineConfig::Flow::Hardware)
        tio.c_cflag |= CRTSCTS;
    // Parity is generated but not checked; software flow control only when asked for.
    tio.c_iflag &= ~(INPCK | PARMRK | IGNPAR | IXON | IXOFF | IXANY);
    if (line.flow == LineConfig::Flow::Software)
        tio.c_iflag |= IXON | IXOFF;
    // Non-blocking reads give EAGAIN when nothing waits; 0 only at a hang-up.
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
}

// A USB serial adapter holds what it receives until its latency timer runs out (16 ms on
// many) unless its driver is asked for low latency; a scan exchanges some 200 frames, each
// waiting that long. Drivers that do not know the request refuse it, and nothing is lost.
void askLowLatency(int fd) {
    serial_struct serial{};
    if (::ioctl(fd, TIOCGSERIAL, &serial) != 0 || (serial.flags & ASYNC_LOW_LATENCY))
        return;
    serial.flags |= ASYNC_LOW_LATENCY;
    ::ioctl(fd, TIOCSSERIAL, &serial);
}

bool setTermios(int fd, termios& tio) {
    if (::tcsetattr(fd, TCSANOW, &tio) == 0)
        return true;
    // A pseudo-terminal (the demo head-end, a simulator) carries no parity bit: the kernel
    // may refuse PARENB there. Everything else must hold.
    if (!isPseudoTerminal(fd))
        return false;
    tio.c_cflag &= ~(PARENB | PARODD | CMSPAR);
    return ::tcsetattr(fd, TCSANOW, &tio) == 0;
}
} // namespace

QString Transport::devicePath(const QString& name) {
    static const QRegularExpression com(QStringLiteral("^COM([1-9][0-9]*)$"),
                                        QRegularExpression::CaseInsensitiveOption);
    const auto m = com.match(name);
    if (m.hasMatch())
        return QStringLiteral("/dev/ttyS%1").arg(m.captured(1).toInt() - 1);
    if (name.startsWith('/'))
        return name;
    return QStringLiteral("/dev/") + name;
}

QString Transport::deviceFor(const QString& portName, QString* error) {
    if (portName.compare(DemoHeadend::portName(), Qt::CaseInsensitive) == 0)
        return DemoHeadend::devicePath(error);
    if (portName.isEmpty()) {
        if (error)
            *error = QStringLiteral("no port name");
        return {};
    }
    return devicePath(portName);
}

bool DeviceTransport::open(const LineConfig& line) {
    release();
    m_error.clear();
    const QString device = deviceFor(m_name, &m_error);
    if (device.isEmpty())
        return false;
    m_fd = ::open(device.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_fd < 0)
        return fail(Ports::openFailure(device, errno));
    // Nobody else may use the line while we do: TIOCEXCL keeps other opens out, the lock
    // tells cooperating programs (root passes TIOCEXCL, so the lock is what stops them).
    if (::flock(m_fd, LOCK_EX | LOCK_NB) != 0 || ::ioctl(m_fd, TIOCEXCL) != 0)
        return fail(errno == EWOULDBLOCK ? QStringLiteral("the port is in use") : deviceError());
    if (!configure(line))
        return fail(deviceError());
    return true;
}

bool DeviceTransport::configure(const LineConfig& line) {
    termios tio{};
    if (::tcgetattr(m_fd, &tio) != 0)
        return false;
    applyLine(tio, line);
    const speed_t speed = speedOf(line.baudRate);
    if (speed == B0) {
        errno = EINVAL;
        return false;
    }
    if (::cfsetispeed(&tio, speed) != 0 || ::cfsetospeed(&tio, speed) != 0 ||
        !setTermios(m_fd, tio))
        return false;
    // DTR and RTS held off. A pseudo-terminal has no modem lines: nothing to hold.
    int lines = TIOCM_DTR | TIOCM_RTS;
    ::ioctl(m_fd, TIOCMBIC, &lines);
    askLowLatency(m_fd);
    return true;
}

void DeviceTransport::release() {
    if (m_fd >= 0)
        ::ioctl(m_fd, TIOCNXCL); // the lock goes with the descriptor
    Transport::release();
}

bool DeviceTransport::readAvailable(QByteArray& data) {
    char buf[4096];
    while (m_fd >= 0) {
        const ssize_t n = ::read(m_fd, buf, sizeof buf);
        if (!keepReading(n, QStringLiteral("the device hung up")))
            break;
        data.append(buf, n);
    }
    return isOpen();
}

bool DeviceTransport::write(const QByteArray& bytes) {
    return writeAll(bytes, false);
}

void DeviceTransport::purge(bool rx, bool tx) {
    if (m_fd >= 0 && (rx || tx))
        ::tcflush(m_fd, rx && tx ? TCIOFLUSH : rx ? TCIFLUSH : TCOFLUSH);
}

bool DeviceTransport::lineBreak() {
    termios before{};
    if (m_fd < 0 || ::tcgetattr(m_fd, &before) != 0)
        return false;
    termios slow = before;
    ::cfsetispeed(&slow, speedOf(kBreakBaud));
    ::cfsetospeed(&slow, speedOf(kBreakBaud));
    const bool sent = setTermios(m_fd, slow) && write(QByteArray(1, '\0'));
    // The old speed only once the byte has left the transmitter, or the pulse is cut short.
    // tcdrain asks the driver, which knows its UART (no flow control: the line always moves);
    // a USB adapter may call the byte sent once it holds it, so its time on the line follows.
    ::tcdrain(m_fd);
    const int charUs = kBitsPerChar * 1'000'000 / kBreakBaud;
    ::poll(nullptr, 0, (charUs + 999) / 1000);
    setTermios(m_fd, before);
    if (!sent)
        m_error = QStringLiteral("%1: %2").arg(m_name, deviceError());
    return sent;
}
