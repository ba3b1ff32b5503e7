#pragma once

#include "app/VtScreen.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QStringList>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

// vttest on a pseudo-terminal of the screen's size, its output fed into a VtScreen and the
// screen's answers (device attributes, cursor reports) sent back, as a terminal does.
class VttestRun {
public:
    static constexpr const char* Program = "/usr/bin/vttest";

    explicit VttestRun(VtScreen& screen) : m_screen(screen) {
        winsize size{};
        size.ws_row = static_cast<unsigned short>(screen.rows());
        size.ws_col = static_cast<unsigned short>(screen.cols());
        // The grid has one width: tell vttest so, and it leaves out its 132-column passes.
        const QByteArray geometry = QByteArray::number(screen.rows()) + "x" +
                                    QByteArray::number(screen.cols()) + "." +
                                    QByteArray::number(screen.cols());
        m_pid = forkpty(&m_master, nullptr, nullptr, &size);
        if (m_pid == 0) {
            setenv("TERM", "vt100", 1);
            setenv("LANG", "C", 1);
            execl(Program, "vttest", geometry.constData(), static_cast<char*>(nullptr));
            _exit(127);
        }
        if (m_master >= 0)
            fcntl(m_master, F_SETFL, fcntl(m_master, F_GETFL) | O_NONBLOCK);
        m_answers = QObject::connect(&screen, &VtScreen::output, &screen,
                                     [this](const QByteArray& bytes) { write(bytes); });
    }
    ~VttestRun() {
        QObject::disconnect(m_answers);
        if (m_master >= 0)
            ::close(m_master);
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
    }
    VttestRun(const VttestRun&) = delete;
    VttestRun& operator=(const VttestRun&) = delete;

    bool started() const { return m_pid > 0 && m_master >= 0; }
    // Whether the kernel shows what a process is blocked in (needed to know a screen is done).
    bool canWatch() const { return QFile::exists(syscallFile()); }

    // Feeds vttest's output to the screen until vttest, having written something since the
    // last key, waits for the keyboard with nothing left unread; false after ms.
    bool waitForInput(int ms = 10000) {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < ms) {
            if (pump(20))
                m_fresh = true;
            else if (m_fresh && readingKeyboard())
                return true;
        }
        return false;
    }
    // Keys for vttest; the next wait looks for what follows them.
    void press(const QByteArray& keys) {
        m_fresh = false;
        write(keys);
    }
    QStringList lines() const {
        QStringList out;
        for (int r = 0; r < m_screen.rows(); ++r)
            out << m_screen.rowText(r);
        return out;
    }

private:
    void write(const QByteArray& bytes) {
        if (m_master >= 0) [[maybe_unused]]
            auto n = ::write(m_master, bytes.constData(), size_t(bytes.size()));
    }
    // Reads what vttest wrote within ms; true when something came.
    bool pump(int ms) {
        pollfd p{m_master, POLLIN, 0};
        if (poll(&p, 1, ms) <= 0)
            return false;
        char buf[4096];
        const ssize_t n = ::read(m_master, buf, sizeof buf);
        if (n <= 0)
            return false;
        m_screen.feed(QByteArray(buf, n));
        return true;
    }
    QString syscallFile() const { return QStringLiteral("/proc/%1/syscall").arg(m_pid); }
    // vttest sits in read() on its terminal (system call 0, descriptor 0).
    bool readingKeyboard() const {
        QFile f(syscallFile());
        if (!f.open(QIODevice::ReadOnly))
            return false;
        const QList<QByteArray> call = f.readAll().simplified().split(' ');
        return call.size() > 1 && call[0] == "0" && call[1] == "0x0";
    }

    VtScreen& m_screen;
    QMetaObject::Connection m_answers;
    int m_master = -1;
    pid_t m_pid = -1;
    bool m_fresh = false;
};
