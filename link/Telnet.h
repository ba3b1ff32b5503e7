#pragma once

#include <QByteArray>
#include <QList>
#include <array>

// Telnet with the com-port option, as the client of a terminal server speaks it: the bytes
// that set up the session and the line, the escaping of data, and the reading of what the
// server sends. Pure pieces without sockets, so that they can be checked byte for byte.
namespace Telnet {

enum Byte : quint8 { SE = 240, SB = 250, WILL = 251, WONT = 252, DO = 253, DONT = 254, IAC = 255 };
enum Option : quint8 { Binary = 0, SuppressGoAhead = 3, ComPort = 44 };

// Commands of the com-port option as the client sends them; the server answers each one
// with the same command plus ServerOffset, carrying the value now in force.
enum ComPortCommand : quint8 {
    SetBaudRate = 1,
    SetDataSize = 2,
    SetParity = 3,
    SetStopSize = 4,
    SetControl = 5,
    PurgeData = 12,
    ServerOffset = 100,
};
enum ParityValue : quint8 {
    ParityNone = 1,
    ParityOdd = 2,
    ParityEven = 3,
    ParityMark = 4,
    ParitySpace = 5
};
enum StopSizeValue : quint8 { StopOne = 1, StopTwo = 2, StopOneAndHalf = 3 };
enum ControlValue : quint8 {
    NoFlowControl = 1,
    BreakOn = 5,
    BreakOff = 6,
    DtrOff = 9,
    RtsOff = 12,
};
enum PurgeValue : quint8 { PurgeReceive = 1, PurgeTransmit = 2, PurgeBoth = 3 };

// Line data as it goes to the server: every IAC doubled.
QByteArray escape(const QByteArray& data);
// IAC verb option.
QByteArray negotiation(quint8 verb, quint8 option);
// IAC SB COM-PORT-OPTION command value IAC SE (command and value escaped).
QByteArray comPort(quint8 command, const QByteArray& value);
QByteArray comPort(quint8 command, quint8 value);
// A baud rate as the com-port option carries it: four bytes, most significant first.
QByteArray baudValue(quint32 baud);
// What the client offers on connecting: BINARY and SUPPRESS-GO-AHEAD in both directions and
// the com-port option.
QByteArray greeting();

// Something the server said besides data: an option verb (WILL, WONT, DO, DONT) or a
// subnegotiation (verb SB, its bytes after the option in data, unescaped).
struct Event {
    quint8 verb = 0;
    quint8 option = 0;
    QByteArray data;
    bool operator==(const Event&) const = default;
};

// Splits what the server sends into line data and events. A command cut between two reads
// is kept until its end comes. A subnegotiation longer than MaxSubBytes (none that the client
// reads comes near it) is dropped whole: a server cannot make the client hold more.
class Decoder {
public:
    static constexpr int MaxSubBytes = 512;
    QByteArray feed(const QByteArray& bytes, QList<Event>* events);

private:
    void afterIac(quint8 b, QByteArray& data);
    void subByte(char c);
    enum class State { Data, Iac, Verb, Sub, SubIac };
    State m_state = State::Data;
    quint8 m_verb = 0;
    QByteArray m_sub;
    bool m_subTooLong = false;
};

// The options agreed with the server and the answer to each of its requests: what the
// client offered is acknowledged silently, an option it does not take is refused, and a
// request for what is already agreed gets no answer, so that no exchange can loop.
class Options {
public:
    // Marks the offers of greeting() as asked for.
    void offered();
    // The answer due to the server's verb for option; empty when none is due.
    QByteArray answer(quint8 verb, quint8 option);
    // The server does the com-port option (it said DO) / refused it (DONT).
    bool comPortAgreed() const { return m_us[ComPort] == State::Yes; }
    bool comPortRefused() const { return m_us[ComPort] == State::No && m_comPortAnswered; }

private:
    enum class State : quint8 { No, Yes, Asked };
    std::array<State, 256> m_us{};  // options this side performs
    std::array<State, 256> m_him{}; // options the server performs
    bool m_comPortAnswered = false;
};

} // namespace Telnet
