#include "cli/KeyInput.h"

#include "link/ConsoleSession.h"
#include "module/Protocol.h"

#include <csignal>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace {
using namespace Ascii;

int g_signalPipe = -1;

void onSignal(int sig) {
    const unsigned char b = static_cast<unsigned char>(sig);
    if (g_signalPipe < 0)
        return;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe, &b, 1);
}

quint16 cursorKey(char final) {
    switch (final) {
    case 'A':
        return ConsoleUp;
    case 'B':
        return ConsoleDown;
    case 'C':
        return ConsoleRight;
    case 'D':
        return ConsoleLeft;
    default:
        return 0;
    }
}
} // namespace

void KeyDecoder::feed(const QByteArray& bytes) {
    m_buffer += bytes;
}

bool KeyDecoder::next(quint16* key, bool final) {
    while (!m_buffer.isEmpty()) {
        const char c = m_buffer.at(0);
        if (c == EndKey) {
            m_end = true;
            m_buffer.clear();
            return false;
        }
        if (c != ESC) {
            m_buffer.remove(0, 1);
            const bool crlf = m_lastCR && c == LF;
            m_lastCR = c == CR;
            if (crlf)
                continue;
            *key = quint8(c == LF ? CR : c == DEL ? BS : c);
            return true;
        }
        m_lastCR = false;
        // ESC [ params final, or ESC O final (cursor keys in application mode).
        qsizetype end = -1;
        if (m_buffer.size() >= 2 && m_buffer.at(1) == 'O')
            end = m_buffer.size() >= 3 ? 2 : -1;
        else if (m_buffer.size() >= 2 && m_buffer.at(1) == '[')
            for (qsizetype i = 2; i < m_buffer.size() && end < 0; ++i)
                end = (m_buffer.at(i) >= 0x40 && m_buffer.at(i) <= 0x7E) ? i : -1;
        else if (m_buffer.size() >= 2 || final)
            end = 0; // a lone ESC
        if (end < 0) {
            if (!final)
                return false;
            end = 0;
        }
        const QByteArray sequence = m_buffer.left(end + 1);
        m_buffer.remove(0, end + 1);
        if (end == 0) {
            *key = quint8(ESC);
            return true;
        }
        const bool plain = sequence.size() == 3; // no parameters
        if (const quint16 k = plain ? cursorKey(sequence.back()) : 0) {
            *key = k;
            return true;
        }
    }
    return false;
}

RawTerminal::RawTerminal(int fd) : m_fd(fd) {
    if (!isatty(fd))
        return;
    auto saved = std::make_unique<termios>();
    if (tcgetattr(fd, saved.get()) != 0)
        return;
    termios raw = *saved;
    cfmakeraw(&raw);
    if (tcsetattr(fd, TCSANOW, &raw) == 0)
        m_saved = std::move(saved);
}

RawTerminal::~RawTerminal() {
    if (m_saved)
        tcsetattr(m_fd, TCSANOW, m_saved.get());
}

SignalWatch::SignalWatch() {
    if (pipe(m_pipe) != 0)
        return;
    fcntl(m_pipe[1], F_SETFL, O_NONBLOCK);
    g_signalPipe = m_pipe[1];
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        std::signal(sig, onSignal);
    m_notifier = std::make_unique<QSocketNotifier>(m_pipe[0], QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, [this] {
        unsigned char b = 0;
        if (::read(m_pipe[0], &b, 1) == 1)
            Q_EMIT caught(b);
    });
}

SignalWatch::~SignalWatch() {
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        std::signal(sig, SIG_DFL);
    g_signalPipe = -1;
    m_notifier.reset();
    for (int fd : m_pipe)
        if (fd >= 0)
            ::close(fd);
}
