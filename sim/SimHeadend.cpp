#include "sim/SimHeadend.h"

#include "sim/SimCodec.h"
#include "sim/SimConsole.h"
#include "sim/SimModule.h"
#include "sim/SimPages.h"

using namespace SimCodec;
using Clock = std::chrono::steady_clock;

namespace {

constexpr qsizetype MaxBody = 512; // longer frames are line noise
constexpr qsizetype MaxLog = 16 * 1024 * 1024;

void appendCapped(QByteArray& log, const QByteArray& bytes) {
    log += bytes;
    if (log.size() > MaxLog)
        log.remove(0, log.size() / 2);
}

// Counts down a fault counter; true when the fault applies to this reply.
bool take(int& counter) {
    if (counter == 0)
        return false;
    if (counter > 0)
        --counter;
    return true;
}

} // namespace

struct SimHeadend::Slot {
    explicit Slot(const SimModuleDef& def) : module(def) {}
    SimModule module;
    SimConsole console;
    SimPages pages;
    SimFaults faults;
    int selects = 0;
    Clock::time_point silentUntil{};
};

SimHeadend::SimHeadend(const SimProfile& profile) : m_resetMs(profile.resetMs) {
    for (const SimSlotDef& s : profile.modules)
        m_slots[s.subrack][s.slot] = std::make_unique<Slot>(s.module);
    if (profile.hasSpecial)
        m_slots[0][SpecialSlot] = std::make_unique<Slot>(profile.special);
}

SimHeadend::~SimHeadend() = default;

SimHeadend::Slot* SimHeadend::slotAt(int subrack, int slot) const {
    if (subrack < 0 || subrack > 1 || slot < 0 || slot > SpecialSlot)
        return nullptr;
    return m_slots[subrack][slot].get();
}

bool SimHeadend::resetting(const Slot& s) const {
    return Clock::now() < s.silentUntil;
}

void SimHeadend::setLine(SimLine* line) {
    QMutexLocker lock(&m_mutex);
    m_line = line;
}

void SimHeadend::feed(const QByteArray& bytes) {
    QMutexLocker lock(&m_mutex);
    appendCapped(m_received, bytes);
    for (char b : bytes)
        onByte(b);
}

void SimHeadend::onByte(char b) {
    if (m_selected && m_selected->console.isOpen()) {
        onConsoleByte(*m_selected, b);
        return;
    }
    switch (m_frame) {
    case Frame::Idle:
        // The console is opened by "9" CR outside any frame.
        if (b == '!')
            m_frame = Frame::Body, m_body.clear();
        else if (b == CR && m_nine)
            openConsole();
        m_nine = b == '9';
        break;
    case Frame::Body:
        if (m_body.isEmpty() && static_cast<quint8>(b) >= 0xC0) {
            m_subrackByte = static_cast<quint8>(b);
            m_frame = Frame::SelectTail;
        } else if (b == '!') {
            m_body.clear(); // a new frame starts: the broken one is forgotten
        } else if (b == CR) {
            m_frame = Frame::Idle;
            onCommand(m_body);
        } else if (m_body.size() < MaxBody) {
            m_body += b;
        } else {
            m_frame = Frame::Idle;
        }
        break;
    case Frame::SelectTail:
        m_frame = Frame::Idle;
        onSelect(m_subrackByte, static_cast<quint8>(b));
        break;
    }
}

void SimHeadend::onSelect(quint8 subrackByte, quint8 tail) {
    Slot* s = slotAt(subrackByte - 0xC0, tail - 0x80);
    if (s != m_selected && m_selected)
        m_selected->module.leaveSpecialMode();
    m_selected = nullptr;
    if (!s || s->faults.absent || resetting(*s))
        return;
    m_selected = s;
    m_selectedName = QStringLiteral("%1/%2").arg(subrackByte - 0xC0 + 1).arg(tail - 0x80 + 1);
    if (s->faults.closeLine) {
        s->faults.closeLine = false;
        if (m_line)
            m_line->drop();
        return;
    }
    const QString& pattern = s->faults.selectPattern;
    const bool answer = pattern.isEmpty() || pattern.at(s->selects % pattern.size()) == '1';
    ++s->selects;
    if (answer)
        emitBytes(QByteArray(1, ACK), 0);
}

void SimHeadend::onCommand(const QByteArray& body) {
    Slot* s = m_selected;
    if (!s || body.isEmpty() || s->faults.absent || s->faults.silent || resetting(*s))
        return;
    if (s->faults.closeLine) {
        s->faults.closeLine = false;
        if (m_line)
            m_line->drop();
        return;
    }
    if (m_commandLog)
        m_commandLog(m_selectedName, body);
    SimModule& m = s->module;
    if (body.endsWith(LF) && m.specialMode()) {
        const QByteArray r = m.special(body, s->faults.eepromBusy);
        if (!r.isEmpty())
            reply(*s, r, Check::Special);
        return;
    }
    if (!onModuleCommand(*s, body))
        onPages(*s, body);
}

// The one-character command set; false when the body is none of it.
bool SimHeadend::onModuleCommand(Slot& s, const QByteArray& body) {
    if (body.startsWith('5')) {
        onWrite(s, body);
        return true;
    }
    if (body.size() != 1)
        return false;
    if (m_wander && body.at(0) == '2')
        s.module.wander();
    const QByteArray data = readReply(s.module, body.at(0));
    if (!data.isNull()) {
        reply(s, data);
        return true;
    }
    return onAction(s, body.at(0));
}

QByteArray SimHeadend::readReply(const SimModule& m, char command) {
    switch (command) {
    case '0':
        return m.infoBlock();
    case ';':
        return m.versionReply();
    case '1':
        return m.diagReply();
    case ':':
        return m.extDiagReply();
    case '<':
        return m.messagesReply();
    case '$':
        return m.markerReply();
    case '2':
        return m.valuesReply();
    case '?':
        return m.serialReply();
    default:
        return QByteArray();
    }
}

void SimHeadend::onWrite(Slot& s, const QByteArray& body) {
    const qsizetype lf = body.indexOf(LF);
    const QByteArray param = body.mid(1, lf - 1);
    if (lf >= 2 && s.faults.ignoreWrites) {
        reply(s, QByteArray(1, ACK));
        return;
    }
    if (lf < 2 || !s.module.writeValue(param, body.mid(lf + 1)))
        return;
    if (param == "Z") { // another type: its console and pages are others too
        s.console.drop();
        s.pages = SimPages();
    }
    reply(s, QByteArray(1, ACK));
}

bool SimHeadend::onAction(Slot& s, char command) {
    SimModule& m = s.module;
    switch (command) {
    case '6':
        m.commit();
        break;
    case '>':
        m.loadDefaults();
        break;
    case '&':
        if (!m.enterSpecialMode())
            return true;
        break;
    case '7':
        reply(s, QByteArray(1, ACK));
        restartSlot(s);
        return true;
    default:
        return false;
    }
    reply(s, QByteArray(1, ACK));
    return true;
}

void SimHeadend::restartSlot(Slot& s) {
    s.module.reset();
    if (s.faults.swapAtReset) {
        s.faults.swapAtReset = false;
        s.module = SimModule(s.module.base());
    }
    s.console.drop();
    s.pages = SimPages();
    s.silentUntil = Clock::now() + std::chrono::milliseconds(m_resetMs);
    if (m_selected == &s)
        m_selected = nullptr; // a restarted module has forgotten that it was addressed
}

void SimHeadend::restart(int subrack, int slot) {
    QMutexLocker lock(&m_mutex);
    if (Slot* s = slotAt(subrack, slot))
        restartSlot(*s);
}

void SimHeadend::onPages(Slot& s, const QByteArray& body) {
    for (const SimPages::Reply& r : s.pages.request(body, s.module))
        reply(s, r.bytes, r.blockCrc ? Check::Block : Check::None, r.delayMs);
}

void SimHeadend::openConsole() {
    Slot* s = m_selected;
    if (!s || s->faults.absent || s->faults.silent || resetting(*s) ||
        !s->module.def().console.enabled)
        return;
    emitBytes(s->console.open(s->module), 0);
    emitBytes(QByteArray(1, SYN), SynGapMs);
}

void SimHeadend::onConsoleByte(Slot& s, char b) {
    SimConsole::State state;
    const QByteArray out = s.console.key(b, s.module, &state);
    if (state == SimConsole::State::Closed)
        return;
    if (!out.isEmpty())
        emitBytes(out, 0);
    // After ETX the module waits for the CR that closes the console: it asks for no key.
    if (state == SimConsole::State::Open && b != ETX)
        emitBytes(QByteArray(1, SYN), SynGapMs);
}

void SimHeadend::reply(Slot& s, QByteArray bytes, Check check, int delayMs) {
    SimFaults& f = s.faults;
    if (take(f.dropReplies))
        return;
    if (check != Check::None && take(f.badChecksums)) {
        // The first checksum digit sits 5 bytes before CR, or at the start of a "!4" answer.
        const qsizetype at = check == Check::Special ? bytes.size() - 5 : 0;
        bytes[at] = bytes[at] == '0' ? '1' : '0';
    }
    if (take(f.garbleReplies))
        bytes[bytes.size() / 2] = static_cast<char>(bytes[bytes.size() / 2] ^ 0x20);
    if (take(f.unterminated))
        bytes.chop(1);
    if (!bytes.isEmpty())
        emitBytes(bytes, delayMs);
}

void SimHeadend::emitBytes(const QByteArray& bytes, int delayMs) {
    appendCapped(m_sent, bytes);
    if (m_line)
        m_line->send(bytes, delayMs);
}

void SimHeadend::setResetMs(int ms) {
    QMutexLocker lock(&m_mutex);
    m_resetMs = qMax(0, ms);
    const auto limit = Clock::now() + std::chrono::milliseconds(m_resetMs);
    for (auto& rack : m_slots)
        for (auto& s : rack)
            if (s && s->silentUntil > limit)
                s->silentUntil = limit;
}

int SimHeadend::resetMs() const {
    QMutexLocker lock(&m_mutex);
    return m_resetMs;
}

void SimHeadend::setFaults(int subrack, int slot, const SimFaults& faults) {
    QMutexLocker lock(&m_mutex);
    if (Slot* s = slotAt(subrack, slot))
        s->faults = faults, s->selects = 0;
}

SimFaults SimHeadend::faults(int subrack, int slot) const {
    QMutexLocker lock(&m_mutex);
    const Slot* s = slotAt(subrack, slot);
    return s ? s->faults : SimFaults();
}

void SimHeadend::clearFaults() {
    QMutexLocker lock(&m_mutex);
    for (auto& rack : m_slots)
        for (auto& s : rack)
            if (s)
                s->faults = SimFaults(), s->selects = 0;
}

void SimHeadend::swap(int subrack, int slot) {
    QMutexLocker lock(&m_mutex);
    if (Slot* s = slotAt(subrack, slot)) {
        s->module = SimModule(s->module.base());
        s->console.drop();
        s->pages = SimPages();
    }
}

void SimHeadend::setDiagBytes(int subrack, int slot, const QStringList& bytes) {
    QMutexLocker lock(&m_mutex);
    if (Slot* s = slotAt(subrack, slot))
        s->module.setDiag(bytes);
}

bool SimHeadend::setMeasured(int subrack, int slot, int param, int value) {
    QMutexLocker lock(&m_mutex);
    Slot* s = slotAt(subrack, slot);
    return s && s->module.setMeasured(param, value);
}

void SimHeadend::setWander(bool on) {
    QMutexLocker lock(&m_mutex);
    m_wander = on;
}

void SimHeadend::setCommandLog(CommandLog log) {
    QMutexLocker lock(&m_mutex);
    m_commandLog = std::move(log);
}

QByteArray SimHeadend::received() const {
    QMutexLocker lock(&m_mutex);
    return m_received;
}

QByteArray SimHeadend::sent() const {
    QMutexLocker lock(&m_mutex);
    return m_sent;
}

void SimHeadend::clearLog() {
    QMutexLocker lock(&m_mutex);
    m_received.clear();
    m_sent.clear();
}

SimModuleState SimHeadend::state(int subrack, int slot) const {
    QMutexLocker lock(&m_mutex);
    SimModuleState st;
    const Slot* s = slotAt(subrack, slot);
    if (!s)
        return st;
    const SimModule& m = s->module;
    st.present = true;
    st.typeName = m.def().type;
    st.variant = m.variant();
    st.channel = m.channel();
    st.values = m.values();
    st.committed = m.committedValues();
    st.eeprom = m.eeprom();
    st.specialMode = m.specialMode();
    st.consoleOpen = s->console.isOpen();
    st.commits = m.commits();
    st.resets = m.resets();
    st.restarting = resetting(*s);
    return st;
}

std::optional<int> SimHeadend::committedValue(int subrack, int slot, int param, int channel) const {
    const SimModuleState st = state(subrack, slot);
    if (param < 0 || param >= st.committed.size() || channel < 0 ||
        channel >= st.committed.at(param).size())
        return std::nullopt;
    return st.committed.at(param).at(channel);
}

std::optional<int> SimHeadend::currentValue(int subrack, int slot, int param, int channel) const {
    const SimModuleState st = state(subrack, slot);
    if (param < 0 || param >= st.values.size() || channel < 0 ||
        channel >= st.values.at(param).size())
        return std::nullopt;
    return st.values.at(param).at(channel);
}

QStringList SimHeadend::eepromImage(int subrack, int slot) const {
    return state(subrack, slot).eeprom;
}
