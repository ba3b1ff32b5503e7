#include "sim/PtyEndpoint.h"

#include <QFile>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr int HangupPollMs = 20; // how often to look whether a program opened the slave
constexpr int WriteStallMs = 2000;

QString systemError(const QString& what) {
    return what + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno));
}

// Raw 8-bit line at 115200 baud with even parity and two stop bits, no flow control.
bool setLine(int fd) {
    termios t{};
    if (tcgetattr(fd, &t) != 0)
        return false;
    cfmakeraw(&t);
    t.c_cflag &= ~(CSIZE | PARODD | CRTSCTS);
    t.c_cflag |= CS8 | PARENB | CSTOPB | CLOCAL | CREAD;
    t.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK);
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    cfsetispeed(&t, B115200);
    cfsetospeed(&t, B115200);
    return tcsetattr(fd, TCSANOW, &t) == 0;
}

} // namespace

PtyEndpoint::PtyEndpoint() = default;

PtyEndpoint::~PtyEndpoint() {
    close();
}

void PtyEndpoint::setReceiver(Receiver receiver) {
    m_receiver = std::move(receiver);
}

void PtyEndpoint::setLinkPath(const QString& linkPath) {
    m_linkPath = linkPath;
}

bool PtyEndpoint::openPty(QString* error) {
    close();
    {
        std::lock_guard lock(m_writeMutex);
        m_device.clear();
    }
    int master = -1, slave = -1;
    char name[256] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        if (error)
            *error = systemError(QStringLiteral("openpty"));
        return false;
    }
    // Both ends raw; the settings stay with the pty when our slave handle is closed, so the
    // program finds a quiet line (no echo of what the modules send) when it opens it.
    setLine(slave);
    setLine(master);
    ::close(slave);
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    fcntl(master, F_SETFD, FD_CLOEXEC);
    {
        std::lock_guard lock(m_writeMutex);
        m_fd = master;
        m_slavePath = QString::fromLocal8Bit(name);
    }
    if (!m_linkPath.isEmpty()) {
        const QByteArray tmp = QFile::encodeName(m_linkPath + QStringLiteral(".new"));
        ::unlink(tmp.constData());
        if (::symlink(name, tmp.constData()) != 0 ||
            ::rename(tmp.constData(), QFile::encodeName(m_linkPath).constData()) != 0) {
            if (error)
                *error = systemError(QStringLiteral("link ") + m_linkPath);
            close();
            return false;
        }
    }
    return start(error);
}

bool PtyEndpoint::openDevice(const QString& device, QString* error) {
    close();
    const int fd =
        ::open(QFile::encodeName(device).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (error)
            *error = systemError(device);
        return false;
    }
    if (ioctl(fd, TIOCEXCL) != 0 || !setLine(fd)) {
        if (error)
            *error = systemError(device);
        ::close(fd);
        return false;
    }
    tcflush(fd, TCIOFLUSH);
    {
        std::lock_guard lock(m_writeMutex);
        m_fd = fd;
        m_device = device;
        m_slavePath = device;
    }
    return start(error);
}

bool PtyEndpoint::reopen(QString* error) {
    QString device;
    {
        std::lock_guard lock(m_writeMutex);
        device = m_device;
    }
    return device.isEmpty() ? openPty(error) : openDevice(device, error);
}

bool PtyEndpoint::start(QString* error) {
    if (pipe2(m_wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        if (error)
            *error = systemError(QStringLiteral("pipe"));
        close();
        return false;
    }
    m_stop = false;
    m_reader = std::thread([this] { readLoop(); });
    return true;
}

void PtyEndpoint::readLoop() {
    char buf[4096];
    while (!m_stop) {
        pollfd fds[2] = {{m_fd, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[1].revents || (fds[0].revents & POLLNVAL))
            return;
        if (fds[0].revents & POLLIN) {
            const ssize_t n = ::read(m_fd, buf, sizeof buf);
            if (n > 0) {
                if (m_receiver)
                    m_receiver(QByteArray(buf, n));
                continue;
            }
            if (n < 0 && (errno == EAGAIN || errno == EINTR))
                continue;
        }
        if (!m_device.isEmpty() && (fds[0].revents & (POLLHUP | POLLERR)))
            return; // the device is gone (a USB adapter pulled out)
        // A pty with nobody on the slave side reports a hang-up until a program opens it.
        pollfd wake{m_wake[0], POLLIN, 0};
        poll(&wake, 1, HangupPollMs);
    }
}

void PtyEndpoint::stopReader() {
    m_stop = true;
    if (m_wake[1] >= 0) {
        const char x = 'x';
        [[maybe_unused]] const ssize_t n = ::write(m_wake[1], &x, 1);
    }
    if (m_reader.joinable()) {
        Q_ASSERT(m_reader.get_id() != std::this_thread::get_id());
        m_reader.join();
    }
}

void PtyEndpoint::close() {
    stopReader();
    std::lock_guard lock(m_writeMutex);
    for (int& fd : m_wake)
        if (fd >= 0)
            ::close(fd), fd = -1;
    if (m_fd >= 0)
        ::close(m_fd), m_fd = -1;
    // The link goes with the line, as an unplugged adapter's device node does: the pty's number
    // is free now, and another program's pty may get it.
    if (!m_linkPath.isEmpty() && m_device.isEmpty())
        ::unlink(QFile::encodeName(m_linkPath).constData());
}

PtyEndpoint::LineState PtyEndpoint::lineStateOf(int fd) {
    termios t{};
    LineState st;
    if (fd < 0 || tcgetattr(fd, &t) != 0)
        return st;
    static const std::pair<speed_t, int> speeds[] = {{B1200, 1200},   {B9600, 9600},
                                                     {B19200, 19200}, {B38400, 38400},
                                                     {B57600, 57600}, {B115200, 115200}};
    for (const auto& [code, baud] : speeds)
        if (cfgetospeed(&t) == code)
            st.baud = baud;
    const auto size = t.c_cflag & CSIZE;
    st.dataBits = size == CS8 ? 8 : size == CS7 ? 7 : size == CS6 ? 6 : 5;
    st.parity = t.c_cflag & PARENB;
    st.oddParity = t.c_cflag & PARODD;
    st.stopBits = (t.c_cflag & CSTOPB) ? 2 : 1;
    st.rtscts = t.c_cflag & CRTSCTS;
    return st;
}

PtyEndpoint::LineState PtyEndpoint::lineState() const {
    std::lock_guard lock(m_writeMutex);
    // On a pty the master reads the settings the program put on the slave.
    return lineStateOf(m_fd);
}

bool PtyEndpoint::isOpen() const {
    std::lock_guard lock(m_writeMutex);
    return m_fd >= 0;
}

bool PtyEndpoint::peerConnected() const {
    std::lock_guard lock(m_writeMutex);
    if (m_fd < 0)
        return false;
    if (!m_device.isEmpty())
        return true;
    pollfd p{m_fd, POLLOUT, 0};
    return poll(&p, 1, 0) >= 0 && !(p.revents & (POLLHUP | POLLERR | POLLNVAL));
}

QString PtyEndpoint::path() const {
    std::lock_guard lock(m_writeMutex);
    return m_linkPath.isEmpty() || !m_device.isEmpty() ? m_slavePath : m_linkPath;
}

QString PtyEndpoint::slavePath() const {
    std::lock_guard lock(m_writeMutex);
    return m_slavePath;
}

bool PtyEndpoint::waitWritable(int fd) {
    for (int waited = 0; waited < WriteStallMs && !m_stop; waited += 50) {
        pollfd p{fd, POLLOUT, 0};
        if (poll(&p, 1, 50) > 0)
            return !(p.revents & (POLLHUP | POLLERR | POLLNVAL));
    }
    return false;
}

qsizetype PtyEndpoint::write(const QByteArray& bytes, bool paced) {
    if (!peerConnected())
        return 0;
    std::lock_guard lock(m_writeMutex);
    using namespace std::chrono;
    const auto start = steady_clock::now();
    qsizetype written = 0;
    while (written < bytes.size() && m_fd >= 0 && !m_stop) {
        qsizetype chunk = bytes.size() - written;
        if (paced) {
            // A piece leaves when its last byte would have left the line: no byte early.
            chunk = qMin<qsizetype>(chunk, 8);
            const auto due = start + microseconds((written + chunk) * 1000000 / LineBytesPerSecond);
            std::this_thread::sleep_until(due);
        }
        if (!waitWritable(m_fd))
            break;
        const ssize_t n = ::write(m_fd, bytes.constData() + written, chunk);
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            continue;
        if (n <= 0)
            break;
        written += n;
    }
    return written;
}
