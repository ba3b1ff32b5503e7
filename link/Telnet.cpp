#include "link/Telnet.h"

#include <initializer_list>

namespace Telnet {

namespace {
QByteArray bytes(std::initializer_list<quint8> list) {
    QByteArray out;
    for (const quint8 b : list)
        out += char(b);
    return out;
}

bool weDo(quint8 option) {
    return option == Binary || option == SuppressGoAhead || option == ComPort;
}
bool theyMayDo(quint8 option) {
    return option == Binary || option == SuppressGoAhead;
}
} // namespace

QByteArray escape(const QByteArray& data) {
    QByteArray out;
    out.reserve(data.size());
    for (const char c : data) {
        out += c;
        if (quint8(c) == IAC)
            out += c;
    }
    return out;
}

QByteArray negotiation(quint8 verb, quint8 option) {
    return bytes({IAC, verb, option});
}

QByteArray comPort(quint8 command, const QByteArray& value) {
    return bytes({IAC, SB, ComPort}) + escape(char(command) + value) + bytes({IAC, SE});
}

QByteArray comPort(quint8 command, quint8 value) {
    return comPort(command, QByteArray(1, char(value)));
}

QByteArray baudValue(quint32 baud) {
    return bytes({quint8(baud >> 24), quint8(baud >> 16), quint8(baud >> 8), quint8(baud)});
}

QByteArray greeting() {
    return negotiation(WILL, Binary) + negotiation(DO, Binary) +
           negotiation(WILL, SuppressGoAhead) + negotiation(DO, SuppressGoAhead) +
           negotiation(WILL, ComPort);
}

QByteArray Decoder::feed(const QByteArray& bytes, QList<Event>* events) {
    QByteArray data;
    for (const char c : bytes) {
        const quint8 b = quint8(c);
        switch (m_state) {
        case State::Data:
            if (b == IAC)
                m_state = State::Iac;
            else
                data += c;
            break;
        case State::Iac:
            afterIac(b, data);
            break;
        case State::Verb:
            if (events)
                *events << Event{m_verb, b, {}};
            m_state = State::Data;
            break;
        case State::Sub:
            if (b == IAC)
                m_state = State::SubIac;
            else
                subByte(c);
            break;
        case State::SubIac:
            if (b == IAC) {
                subByte(c);
                m_state = State::Sub;
                break;
            }
            // IAC SE ends it; anything else after IAC is a broken subnegotiation, ended too.
            if (events && !m_sub.isEmpty() && !m_subTooLong)
                *events << Event{SB, quint8(m_sub.at(0)), m_sub.mid(1)};
            m_state = State::Data;
            break;
        }
    }
    return data;
}

void Decoder::afterIac(quint8 b, QByteArray& data) {
    m_state = State::Data;
    if (b == IAC) {
        data += char(b); // a doubled IAC is one data byte
    } else if (b == SB) {
        m_sub.clear();
        m_subTooLong = false;
        m_state = State::Sub;
    } else if (b >= WILL && b <= DONT) {
        m_verb = b;
        m_state = State::Verb;
    } // NOP, GA and the like carry nothing for us
}

void Decoder::subByte(char c) {
    if (m_sub.size() < MaxSubBytes)
        m_sub += c;
    else
        m_subTooLong = true;
}

void Options::offered() {
    for (const quint8 o : {Binary, SuppressGoAhead, ComPort})
        m_us[o] = State::Asked;
    for (const quint8 o : {Binary, SuppressGoAhead})
        m_him[o] = State::Asked;
}

QByteArray Options::answer(quint8 verb, quint8 option) {
    const bool ours = verb == DO || verb == DONT;
    const bool enable = verb == WILL || verb == DO;
    const bool supported = ours ? weDo(option) : theyMayDo(option);
    State& state = ours ? m_us[option] : m_him[option];
    if (ours && option == ComPort)
        m_comPortAnswered = true;
    const State before = state;
    if (enable && supported) {
        state = State::Yes;
        return before == State::No ? negotiation(ours ? WILL : DO, option) : QByteArray();
    }
    state = State::No;
    if (enable) // refused: it is not something we take
        return negotiation(ours ? WONT : DONT, option);
    return before == State::Yes ? negotiation(ours ? WONT : DONT, option) : QByteArray();
}

} // namespace Telnet
