#include "agent/StdioBridge.h"

#include "net/AgentChannel.h"

#include <QDir>
#include <QFile>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {
constexpr int kUnusable = 3;

int fail(const QString& text) {
    std::fprintf(stderr, "orvex-agent: %s\n", qUtf8Printable(text));
    return kUnusable;
}

// The socket of the line, or of the only agent in the folder.
QString socketPath(const QString& line, QString* error) {
    if (!line.isEmpty())
        return AgentAddress::socketOf(line);
    const QString folder = AgentAddress::socketFolder();
    const QStringList found =
        QDir(folder).entryList({QStringLiteral("*.sock")}, QDir::System | QDir::Files);
    if (found.size() == 1)
        return folder + QLatin1Char('/') + found.first();
    *error = found.isEmpty()
                 ? QStringLiteral("no agent runs here (no socket in %1)").arg(folder)
                 : QStringLiteral("%1 agents run here (%2): name the line")
                       .arg(found.size())
                       .arg(found.join(QStringLiteral(", ")).remove(QStringLiteral(".sock")));
    return {};
}

bool writeAll(int fd, const char* bytes, ssize_t size) {
    while (size > 0) {
        const ssize_t n = write(fd, bytes, size_t(size));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes += n;
        size -= n;
    }
    return true;
}

// Copies one read of from to to; false at the end of from or when to is gone.
bool copy(int from, int to) {
    char buffer[65536];
    ssize_t n;
    do
        n = read(from, buffer, sizeof buffer);
    while (n < 0 && errno == EINTR);
    return n > 0 && writeAll(to, buffer, n);
}
} // namespace

int RunStdioBridge(const QString& line) {
    QString error;
    const QString path = socketPath(line, &error);
    if (path.isEmpty())
        return fail(error);
    const QByteArray name = QFile::encodeName(path);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (size_t(name.size()) >= sizeof address.sun_path)
        return fail(QStringLiteral("the socket name %1 is too long").arg(path));
    std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        return fail(QStringLiteral("the agent's socket %1 cannot be reached: %2")
                        .arg(path, QString::fromLocal8Bit(std::strerror(errno))));
    pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {fd, POLLIN, 0}};
    for (;;) {
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (fds[1].revents != 0 && !copy(fd, STDOUT_FILENO))
            break;
        if (fds[0].revents != 0 && !copy(STDIN_FILENO, fd))
            break;
    }
    close(fd);
    return 0;
}
