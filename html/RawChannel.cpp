#include "html/RawChannel.h"

#include "link/DemoHeadend.h"
#include "link/SerialPort.h"

#include <QElapsedTimer>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

namespace {
QString lastError() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

bool isPseudoTerminal(int fd) {
    struct stat st {};
    // Unix98 pseudo-terminal slaves have the majors 136 to 143.
    return ::fstat(fd, &st) == 0 && S_ISCHR(st.st_mode) && major(st.st_rdev) >= 136 &&
           major(st.st_rdev) <= 143;
}
} // namespace

RawChannel::~RawChannel() {
    close();
}

QString RawChannel::deviceFor(const QString& portName, QString* error) {
    if (portName.compare(SerialPort::demoName(), Qt::CaseInsensitive) == 0)
        return DemoHeadend::devicePath(error);
    if (portName.isEmpty()) {
        if (error)
            *error = QStringLiteral("no port name");
        return {};
    }
    return SerialPort::devicePath(portName);
}

bool RawChannel::OpenRawPort(const QString& portName) {
    close();
    m_error.clear();
    m_device = deviceFor(portName, &m_error);
    if (m_device.isEmpty())
        return false;
    const QByteArray path = m_device.toLocal8Bit();
    m_fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_fd < 0) {
        m_error = QStringLiteral("%1: %2").arg(m_device, lastError());
        return false;
    }
    // Nobody else may use the line while we do: TIOCEXCL keeps other opens out, the lock
    // tells cooperating programs (root passes TIOCEXCL, so the lock is what stops them).
    if (::flock(m_fd, LOCK_EX | LOCK_NB) != 0 || ::ioctl(m_fd, TIOCEXCL) != 0) {
        m_error = QStringLiteral("%1: %2").arg(m_device, lastError());
        close();
        return false;
    }
    if (!configure()) {
        m_error = QStringLiteral("%1: %2").arg(m_device, lastError());
        close();
        return false;
    }
    return true;
}

bool RawChannel::configure() {
    termios tio{};
    if (::tcgetattr(m_fd, &tio) != 0)
        return false;
    ::cfmakeraw(&tio);
    tio.c_cflag &= ~(CSIZE | PARODD | CSTOPB | CRTSCTS | HUPCL);
    tio.c_cflag |= CS8 | PARENB | CLOCAL | CREAD;
    // Parity is generated but not checked; no software flow control.
    tio.c_iflag &= ~(INPCK | PARMRK | IGNPAR | IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (::cfsetispeed(&tio, B115200) != 0 || ::cfsetospeed(&tio, B115200) != 0)
        return false;
    if (::tcsetattr(m_fd, TCSANOW, &tio) != 0) {
        // A pseudo-terminal (the demo head-end, a simulator) carries no parity bit: the
        // kernel refuses PARENB there when nothing else changes. Everything else holds.
        if (!isPseudoTerminal(m_fd))
            return false;
        tio.c_cflag &= ~PARENB;
        if (::tcsetattr(m_fd, TCSANOW, &tio) != 0)
            return false;
    }
    // DTR and RTS held off. A pseudo-terminal has no modem lines: nothing to hold.
    int lines = TIOCM_DTR | TIOCM_RTS;
    ::ioctl(m_fd, TIOCMBIC, &lines);
    return true;
}

bool RawChannel::fill(int timeoutMs) {
    if (m_fd < 0)
        return false;
    if (m_inPos > 0) {
        m_in.remove(0, m_inPos);
        m_inPos = 0;
    }
    pollfd p{m_fd, POLLIN, 0};
    const int ready = ::poll(&p, 1, timeoutMs);
    if (ready <= 0 || !(p.revents & POLLIN))
        return false;
    char buf[4096];
    const ssize_t n = ::read(m_fd, buf, sizeof buf);
    if (n <= 0)
        return false;
    m_in.append(buf, n);
    if (m_tap)
        m_tap('<', QByteArray(buf, int(n)));
    return true;
}

int RawChannel::readByte(int timeoutMs) {
    if (m_inPos >= m_in.size() && !fill(timeoutMs))
        return -1;
    return static_cast<unsigned char>(m_in.at(m_inPos++));
}

QByteArray RawChannel::readWaiting() {
    fill(0);
    const QByteArray out = m_in.mid(m_inPos);
    m_in.clear();
    m_inPos = 0;
    return out;
}

bool RawChannel::write(const QByteArray& bytes) {
    if (m_fd < 0)
        return false;
    QElapsedTimer clock;
    clock.start();
    const qint64 limit = WriteConstantMs + qint64(WritePerByteMs) * bytes.size();
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            if (m_tap)
                m_tap('>', bytes.mid(done, n));
            done += n;
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return false;
        const qint64 left = limit - clock.elapsed();
        if (left <= 0)
            return false;
        pollfd p{m_fd, POLLOUT, 0};
        ::poll(&p, 1, int(left));
    }
    return true;
}

void RawChannel::purge() {
    if (m_fd >= 0)
        ::tcflush(m_fd, TCIOFLUSH);
    m_in.clear();
    m_inPos = 0;
}

void RawChannel::close() {
    if (m_fd >= 0) {
        ::ioctl(m_fd, TIOCNXCL);
        ::close(m_fd); // the lock goes with the descriptor
    }
    m_fd = -1;
    m_in.clear();
    m_inPos = 0;
}
