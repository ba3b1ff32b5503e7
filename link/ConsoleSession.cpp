#include "link/ConsoleSession.h"
#include "link/PortInfo.h"

#include "link/Link.h"
#include "link/LinkHost.h"
#include "link/SharedState.h"

namespace {
constexpr int kCloseQuietMs = 100; // lets the module take ETX CR before the port closes
} // namespace

void ConsoleKeys::store(quint16 code) {
    m_ring[m_write] = code;
    m_write = quint8((m_write + 1) % Size);
}

quint16 ConsoleKeys::take() {
    for (int i = 0; i < Size; ++i) {
        quint16& entry = m_ring[(m_write + i) % Size];
        if (entry != 0) {
            const quint16 code = entry;
            entry = 0;
            return code;
        }
    }
    return 0;
}

int ConsoleKeys::pending() const {
    int n = 0;
    for (quint16 code : m_ring)
        n += code != 0 ? 1 : 0;
    return n;
}

ConsoleSession::ConsoleSession(Link& link, SharedState& state, LinkHost& host, QObject* parent)
    : QObject(parent), m_link(link), m_state(state), m_host(host) {
    // Queued: what a piece sets off (a window that closes on EOT) may close the port, which
    // must not happen inside the port's own notification.
    connect(
        &m_link.ComPort(), &SerialPort::rxChars, this,
        [this] {
            if (m_open)
                onChars();
        },
        Qt::QueuedConnection);
    connect(&m_link, &Link::portLost, this, [this](const QString& reason) {
        if (!m_open)
            return;
        m_open = false;
        m_state.TerminalMode = false;
        // The console would stay open and take every frame after it as keys: its end goes as
        // soon as the line is back, before any frame.
        m_link.ComPort().sendOnOpen(Link::ConsoleEnd);
        Q_EMIT lost(reason);
    });
}

ConsoleSession::~ConsoleSession() {
    close();
}

void ConsoleSession::open() {
    if (tryOpen())
        return;
    const QString reason = m_link.ComPort().errorString();
    m_link.closePort();
    throw PortError(Ports::notOpenedText(reason));
}

bool ConsoleSession::tryOpen() {
    SerialPort& port = m_link.ComPort();
    port.setEventMask(SerialPort::EventMask::RxChar);
    if (!port.isOpen() && !port.open())
        return false;
    // What is left of earlier exchanges is not the console's.
    port.purge(true, false);
    m_open = true;
    m_asked = false;
    m_paste.clear();
    m_pasteAt = 0;
    port.write(Protocol::ConsoleStart);
    m_state.TerminalMode = true;
    return true;
}

void ConsoleSession::close() {
    if (!m_open)
        return;
    m_open = false;
    m_paste.clear();
    m_pasteAt = 0;
    // The line is the program's again: the commit timer and the commands may use it.
    m_state.TerminalMode = false;
    SerialPort& port = m_link.ComPort();
    if (!port.write(Link::ConsoleEnd))
        port.sendOnOpen(Link::ConsoleEnd);
    port.flush();
    port.setEventMask(SerialPort::EventMask::None);
    // The transmit queue is left alone: discarding it could drop the ETX CR just written, and
    // the module would never hear that its console was closed.
    port.purge(true, false);
    m_host.pause(kCloseQuietMs);
    m_link.closePort();
    m_state.ReloadRequest = true;
}

void ConsoleSession::sendKey(quint16 code) {
    m_asked = false;
    m_link.ComPort().write(QByteArray(1, char(code & 0xFF)));
    Q_EMIT keySent(code);
}

quint16 ConsoleSession::nextKey() {
    if (const quint16 code = m_keys.take())
        return code;
    if (m_pasteAt >= m_paste.size())
        return 0;
    const quint16 code = uchar(m_paste.at(m_pasteAt++));
    if (m_pasteAt == m_paste.size()) {
        m_paste.clear();
        m_pasteAt = 0;
    }
    return code;
}

void ConsoleSession::type(quint16 code) {
    if (pastePending() > 0) {
        m_paste += char(code & 0xFF);
        return;
    }
    m_keys.store(code);
    // A module asks for a key once, after its output: had it asked already, it still waits.
    if (m_asked && m_open)
        sendKey(nextKey());
}

bool ConsoleSession::paste(const QByteArray& keys) {
    const qsizetype room = MaxPaste - pastePending();
    m_paste += keys.left(room);
    if (m_asked && m_open && pastePending() > 0)
        sendKey(nextKey());
    return keys.size() <= room;
}

void ConsoleSession::answer(const QByteArray& bytes) {
    if (m_open)
        m_link.ComPort().write(bytes);
}

QByteArray ConsoleSession::received(const QByteArray& piece, bool* eot) {
    // The module asks with a SYN of its own, a moment after its output. A reader that comes
    // later than that moment finds the SYN at the end of the output: a request all the same,
    // or the module would wait for a key for ever; a SYN inside the text is none. A terminal
    // server packs what the module sends into packets and the pause is lost: there every SYN
    // is a request.
    const qsizetype requests =
        m_link.ComPort().isRemote() ? piece.count(Ascii::SYN) : piece.endsWith(Ascii::SYN);
    for (qsizetype i = 0; i < requests; ++i) {
        const quint16 code = nextKey();
        if (code != 0)
            sendKey(code);
        else
            m_asked = true;
    }
    QByteArray shown = piece;
    shown.replace(Ascii::SYN, QByteArray());
    if (eot)
        *eot = shown.contains(Ascii::EOT);
    return shown;
}

void ConsoleSession::onChars() {
    SerialPort& port = m_link.ComPort();
    const QByteArray piece = port.read(port.bytesWaiting());
    if (piece.isEmpty())
        return;
    bool eot = false;
    Q_EMIT text(received(piece, &eot));
    if (eot)
        Q_EMIT ended();
}
