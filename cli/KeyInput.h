#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QSocketNotifier>
#include <memory>

struct termios;

// The bytes the user's terminal sends, turned into the keys the console takes: the cursor
// keys' escape sequences become their single codes, other escape sequences (function keys,
// Delete ...) are dropped as the terminal window drops keys without a character, DEL (the
// Backspace key of most terminals) becomes BS, and a line end from a pipe (LF, CR LF)
// becomes CR, the Enter key. Ctrl-] asks to end the console.
class KeyDecoder {
public:
    static constexpr char EndKey = 0x1D; // Ctrl-]

    void feed(const QByteArray& bytes);
    // The next complete key; false when none is complete. With `final` (no more bytes are
    // coming soon) an unfinished escape sequence is given up: a lone ESC is the Escape key.
    bool next(quint16* key, bool final);
    bool endRequested() const { return m_end; }
    bool empty() const { return m_buffer.isEmpty(); }
    int size() const { return int(m_buffer.size()); }

private:
    QByteArray m_buffer;
    bool m_end = false;
    bool m_lastCR = false;
};

// Raw mode of the user's terminal for as long as the object lives (nothing when the input is
// not a terminal): no echo, no line editing, no signals from Ctrl-C or Ctrl-Z, so that every
// key goes to the module.
class RawTerminal {
public:
    explicit RawTerminal(int fd);
    ~RawTerminal();
    bool active() const { return m_saved != nullptr; }
    RawTerminal(const RawTerminal&) = delete;
    RawTerminal& operator=(const RawTerminal&) = delete;

private:
    int m_fd;
    std::unique_ptr<termios> m_saved;
};

// SIGINT, SIGTERM and SIGHUP delivered as a Qt signal (through a pipe), so that a console or
// a server ends in order instead of dying with the line in the middle of an exchange.
class SignalWatch : public QObject {
    Q_OBJECT
public:
    SignalWatch();
    ~SignalWatch() override;

Q_SIGNALS:
    void caught(int signal);

private:
    int m_pipe[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> m_notifier;
};
