#include "link/AgentAddress.h"
#include "link/JsonRpc.h"
#include "link/TransportKinds.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {
// ssh may pass a jump host and ask a slow name server, and the agent lends its line only
// once another client's operation has ended.
constexpr int kBorrowLimitMs = 30000;
// What ssh is given, once its input has ended, to deliver the last bytes and leave.
constexpr int kSshLeaveMs = 10000;
constexpr int kAnswerLimitBytes = 64 * 1024;
constexpr int kSshSaidBytes = 4096;

void nonBlocking(int fd) {
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
}

// ssh has been told that no more input comes: it delivers what it holds and ends once the
// agent's side has closed. Waited for on a thread of its own (what it still says is read
// away), so that a close never waits on the network; ended after a while if it does not.
void reapLater(pid_t pid, int errors) {
    std::thread([pid, errors] {
        char buf[1024];
        for (int waited = 0; waited < kSshLeaveMs && ::waitpid(pid, nullptr, WNOHANG) == 0;
             waited += 50) {
            while (::read(errors, buf, sizeof buf) > 0) {
            }
            ::usleep(50 * 1000);
        }
        ::kill(pid, SIGTERM);
        ::waitpid(pid, nullptr, 0);
        ::close(errors);
    }).detach();
}
} // namespace

bool AgentTransport::open(const LineConfig&) {
    release();
    m_error.clear();
    if (m_wasLent || m_lentSocket >= 0) {
        if (m_lentSocket < 0)
            return fail(QStringLiteral("the line lent here has been taken back"));
        m_fd = std::exchange(m_lentSocket, -1);
        m_wasLent = true;
        nonBlocking(m_fd);
        return true;
    }
    AgentAddress address;
    QString error;
    if (!AgentAddress::parse(m_name, &address, &error)) {
        m_error = error;
        return false;
    }
    const bool connected =
        address.isSsh() ? startSsh(address.sshCommand()) : connectSocket(address.socket);
    return connected && borrowLine();
}

bool AgentTransport::connectSocket(const QString& path) {
    sockaddr_un to{};
    to.sun_family = AF_UNIX;
    const QByteArray local = QFile::encodeName(path);
    if (size_t(local.size()) >= sizeof to.sun_path)
        return fail(QStringLiteral("the socket's path %1 is too long").arg(path));
    std::memcpy(to.sun_path, local.constData(), size_t(local.size()));
    m_fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_fd < 0 || ::connect(m_fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0)
        return fail(QStringLiteral("the agent's socket %1 cannot be reached: %2")
                        .arg(path, AgentAddress::unreachableText(errno)));
    nonBlocking(m_fd);
    return true;
}

bool AgentTransport::startSsh(const QStringList& command) {
    int pair[2], errors[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0)
        return fail(QString::fromLocal8Bit(std::strerror(errno)));
    if (::pipe2(errors, O_CLOEXEC) != 0) {
        ::close(pair[0]), ::close(pair[1]);
        return fail(QString::fromLocal8Bit(std::strerror(errno)));
    }
    QList<QByteArray> words;
    for (const QString& word : command)
        words << word.toLocal8Bit();
    std::vector<char*> argv;
    for (QByteArray& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_adddup2(&files, pair[1], 0);
    posix_spawn_file_actions_adddup2(&files, pair[1], 1);
    posix_spawn_file_actions_adddup2(&files, errors[1], 2);
    // ssh gets the signals as a program started from a shell does, whatever this thread blocks.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t pid = -1;
    const int spawned = posix_spawnp(&pid, argv[0], &files, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&files);
    posix_spawnattr_destroy(&attributes);
    ::close(pair[1]), ::close(errors[1]);
    if (spawned != 0) {
        ::close(pair[0]), ::close(errors[0]);
        return fail(QStringLiteral("ssh cannot be started: %1")
                        .arg(QString::fromLocal8Bit(std::strerror(spawned))));
    }
    m_sshPid = pid;
    m_fd = pair[0];
    m_sshErrors = errors[0];
    nonBlocking(m_fd);
    nonBlocking(m_sshErrors);
    return true;
}

bool AgentTransport::borrowLine() {
    const QJsonObject params{{QStringLiteral("client"), QCoreApplication::applicationName()}};
    if (!writeAll(JsonRpc::request(1, QStringLiteral("line.v1"), params), true))
        return fail(goneText());
    QElapsedTimer clock;
    clock.start();
    QByteArray in;
    while (!in.contains('\n')) {
        if (m_cancelled)
            return fail(QStringLiteral("connecting was stopped"));
        if (clock.elapsed() > kBorrowLimitMs)
            return fail(QStringLiteral("the agent did not lend its line within %1 s (another "
                                       "client may hold it with a long operation)")
                            .arg(kBorrowLimitMs / 1000));
        if (in.size() > kAnswerLimitBytes)
            return fail(QStringLiteral("what answers is not an agent"));
        pollfd p[2] = {{m_fd, POLLIN, 0}, {m_sshErrors, POLLIN, 0}};
        ::poll(p, m_sshErrors >= 0 ? 2 : 1, CancelCheckMs);
        readSshErrors();
        char buf[4096];
        const ssize_t n = ::recv(m_fd, buf, sizeof buf, MSG_DONTWAIT);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR))
            return fail(goneText());
        if (n > 0)
            in.append(buf, int(n));
    }
    const qsizetype end = in.indexOf('\n');
    m_early = in.mid(end + 1);
    JsonRpc::Message answer;
    if (const auto error = JsonRpc::read(in.left(end), &answer))
        return fail(QStringLiteral("what answers is not an agent (%1)").arg(error->message));
    if (answer.error && answer.error->code == JsonRpc::MethodNotFound)
        return fail(QStringLiteral("the agent there is too old to lend its line"));
    if (answer.error)
        return fail(answer.error->message);
    return true;
}

void AgentTransport::readSshErrors() {
    char buf[1024];
    ssize_t n;
    while (m_sshErrors >= 0 && (n = ::read(m_sshErrors, buf, sizeof buf)) > 0)
        m_sshSaid = (m_sshSaid + QByteArray(buf, int(n))).right(kSshSaidBytes);
}

QString AgentTransport::goneText() {
    if (m_sshPid < 0)
        return QStringLiteral("the agent closed the connection");
    // ssh has said its last once its end of the pipe is closed; it ends soon after the line.
    if (m_sshErrors >= 0) {
        pollfd p{m_sshErrors, POLLIN, 0};
        ::poll(&p, 1, 200);
    }
    readSshErrors();
    const QList<QByteArray> lines = m_sshSaid.trimmed().split('\n');
    const QString last = QString::fromLocal8Bit(lines.last().trimmed());
    return last.isEmpty() ? QStringLiteral("the connection through ssh ended")
                          : QStringLiteral("ssh: %1").arg(last);
}

bool AgentTransport::readAvailable(QByteArray& data) {
    data += std::exchange(m_early, {});
    readSshErrors();
    char buf[4096];
    while (m_fd >= 0) {
        const ssize_t n = ::recv(m_fd, buf, sizeof buf, MSG_DONTWAIT);
        if (!keepReading(n, n == 0 ? goneText() : QString()))
            break;
        data.append(buf, int(n));
    }
    return isOpen();
}

bool AgentTransport::write(const QByteArray& bytes) {
    return writeAll(bytes, true);
}

void AgentTransport::purge(bool rx, bool) {
    if (!rx)
        return;
    QByteArray away;
    readAvailable(away);
}

bool AgentTransport::lineBreak() {
    m_error =
        QStringLiteral("%1: the line an agent lends carries data only, it cannot send a break")
            .arg(m_name);
    return false;
}

void AgentTransport::release() {
    // The agent (or ssh) is told that nothing more comes: what was written still reaches
    // the line, and the agent takes its line back.
    if (m_fd >= 0)
        ::shutdown(m_fd, SHUT_WR);
    Transport::release();
    if (m_sshPid > 0)
        reapLater(m_sshPid, m_sshErrors);
    else if (m_sshErrors >= 0)
        ::close(m_sshErrors);
    m_sshErrors = -1;
    m_sshPid = -1;
    m_early.clear();
}

AgentTransport::~AgentTransport() {
    release();
    if (m_lentSocket >= 0)
        ::close(m_lentSocket);
}
