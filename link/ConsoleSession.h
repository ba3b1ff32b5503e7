#pragma once

#include <QByteArray>
#include <QObject>
#include <array>

class Link;
class LinkHost;
struct SharedState;

// The codes the console takes for the cursor keys, one control character each.
enum ConsoleKey : quint16 { ConsoleLeft = 28, ConsoleUp = 29, ConsoleDown = 30, ConsoleRight = 31 };

// Keys typed but not yet asked for by the module: a ring of ten entries, 0 meaning empty. A
// key goes to the write index, which then advances and wraps from 9 to 0, so when more than
// ten are typed before the module asks, the oldest are overwritten.
class ConsoleKeys {
public:
    static constexpr int Size = 10;

    void store(quint16 code);
    // The oldest pending key, taken out of the ring (entries looked at from the write index
    // on, with wrap-around); 0 when none is pending.
    quint16 take();
    int pending() const;

private:
    std::array<quint16, Size> m_ring{};
    quint8 m_write = 0;
};

// A module's text console on the link's port, for the terminal window and the command-line
// tool alike: the session alone reads and writes the line while the console is open; the
// display only shows the text and hands the keys back. Opened with "9" CR and closed with
// ETX CR; while it is open the console owns the line (no command transaction may run), the
// module asks for each key with a lone SYN and ends the console itself with EOT. The module
// must have been selected before.
//
//   ConsoleSession console(link, state, host);
//   connect(&console, &ConsoleSession::text, display, ...);     // what to show
//   connect(&console, &ConsoleSession::ended, ..., [&] { console.close(); });
//   console.open();
//   console.type('a');                                          // on each typed key
class ConsoleSession : public QObject {
    Q_OBJECT
public:
    ConsoleSession(Link& link, SharedState& state, LinkHost& host, QObject* parent = nullptr);
    ~ConsoleSession() override;

    // Every received byte is reported from now on; opens the port, discards what it had
    // received and sends "9" CR; TerminalMode := true. A port that cannot be opened raises
    // PortError.
    void open();
    // The same, but a port that cannot be opened just returns false (its reason in the port's
    // errorString()), for a caller that tries again.
    bool tryOpen();
    // TerminalMode := false; sends ETX CR, stops the reports, discards the receive queue, waits
    // 100 ms serving events, closes the port (its event mask back to the terminator) and asks
    // the work loop to re-read the module (ReloadRequest). Nothing when the console is not
    // open. A console whose port is lost ends as well (TerminalMode false, lost reported).
    void close();
    bool isOpen() const { return m_open; }

    // A typed character code or ConsoleKey; it waits in the ring until the module asks, or
    // goes at once when the module has asked while no key was pending. While pasted keys
    // wait, a typed key goes after them.
    void type(quint16 code);
    const ConsoleKeys& keys() const { return m_keys; }
    // Pasted text: its keys go one per request of the module, as typed keys do, after the
    // keys typed before it; the ring's ten places do not limit it. At most MaxPaste bytes
    // wait (false: the rest was left out). A console that ends drops what is left.
    static constexpr int MaxPaste = 65536;
    bool paste(const QByteArray& keys);
    int pastePending() const { return int(m_paste.size() - m_pasteAt); }

    // Bytes of the display's own for the module (a VT's answers to the module's queries):
    // written at once while the console is open, else dropped.
    void answer(const QByteArray& bytes);

    // One piece of received text as the port delivered it: a piece that ends with SYN sends
    // the oldest pending key (with none pending, the request is remembered: a module asks
    // only once); on a remote line, where a terminal server packs the module's bytes, every
    // SYN does. Returns the piece without its SYN bytes; *eot tells whether it holds EOT
    // (which stays in the text).
    QByteArray received(const QByteArray& piece, bool* eot);

Q_SIGNALS:
    // Each piece read, without SYN, to be shown: empty for a piece that was only a request.
    void text(const QByteArray& text);
    void keySent(quint16 code);       // a pending key went to the module
    void ended();                     // EOT: the module ended its console
    void lost(const QString& reason); // the port went away while the console was open

private:
    void onChars();
    void sendKey(quint16 code);
    // The next key to send: the ring's oldest, else the next pasted one; 0 for none.
    quint16 nextKey();

    Link& m_link;
    SharedState& m_state;
    LinkHost& m_host;
    ConsoleKeys m_keys;
    bool m_open = false;
    bool m_asked = false; // the module asked for a key while none was pending
    QByteArray m_paste;
    qsizetype m_pasteAt = 0;
};
