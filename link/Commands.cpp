// The module command set: one routine per one-character command, each one transaction with
// its parser.
#include "link/Link.h"
#include "link/LinkHost.h"
#include "link/SharedState.h"
#include "module/ModuleTable.h"
#include "module/Parsers.h"

using namespace Ascii;

void Link::tolerant(TModule& m, const std::function<void()>& command, QStringList* keep) {
    try {
        command();
    } catch (const ParseError& e) {
        m.Messages << e.text();
        ++m.ErrorCount;
        if (keep)
            *keep << e.text();
    }
}

TModule& Link::record(int slot, int subrack) {
    TModule* m = m_modules.at(slot, subrack);
    return m ? *m : m_modules.renew(slot, subrack);
}

QByteArray Link::selectFrame(int subrack, int slot) {
    return QByteArray("!") + char(Protocol::SelectSubrackBase + subrack) +
           char(Protocol::SelectSlotBase + slot);
}

bool Link::selectedBy(const QByteArray& frame, int* subrack, int* slot) {
    if (frame.size() != 3)
        return false;
    *subrack = quint8(frame.at(1)) - Protocol::SelectSubrackBase;
    *slot = quint8(frame.at(2)) - Protocol::SelectSlotBase;
    return *subrack >= 0 && *subrack < 2 && *slot >= 0 && *slot <= Protocol::SpecialSlot &&
           frame == selectFrame(*subrack, *slot);
}

bool Link::SelectModule(int subrack, int slot) {
    const QByteArray frame = selectFrame(subrack, slot);
    const QByteArray body = frame.mid(1, 1);
    const char tail = frame.at(2);
    // The majority of up to three tries decides.
    const int a = SendCommand(ACK, body, tail) ? 1 : 0;
    const int b = SendCommand(ACK, body, tail) ? 1 : 0;
    if (a == b)
        return a == 1;
    const int c = SendCommand(ACK, body, tail) ? 1 : 0;
    return a + b + c >= 2;
}

bool Link::readPart(TModule& m, quint8 part, const std::function<bool()>& read) {
    // Marked before the read: a reply that cannot be parsed leaves it marked.
    m.UnreadParts |= part;
    const bool done = read();
    if (done)
        m.UnreadParts &= quint8(~part);
    return done;
}

bool Link::SelectRecord(int subrack, int slot) {
    return SelectModule(subrack, m_modules.addressSlot(slot, subrack));
}

bool Link::readInto(int slot, int subrack, const Protocol::Command& command,
                    const std::function<void(TModule&)>& parse, const char* failure) {
    if (command.timeout > 0)
        ReplyTimeout = command.timeout;
    TModule& m = record(slot, subrack);
    if (SendCommand(command.terminator, command.code)) {
        parse(m);
        return true;
    }
    if (failure) {
        m.Messages << QStringLiteral(" ") << QLatin1String(failure);
        ++m.ErrorCount;
    }
    return false;
}

bool Link::ReadInfoBlock(int slot, int subrack) {
    TModule& m = record(slot, subrack);
    m.ErrorCount = 0;
    m.Messages.clear();
    return readPart(m, TModule::InfoPart, [&] {
        return readInto(slot, subrack, Protocol::ReadInfo,
                        [this](TModule& r) { ParseInfoBlock(r, RxBuffer); });
    });
}

bool Link::ReadVersion(int slot, int subrack) {
    return readInto(slot, subrack, Protocol::ReadVersion,
                    [this](TModule& r) { ParseLastLine(r, RxBuffer, r.VersionText); });
}

bool Link::ReadDiagBytes(int slot, int subrack) {
    return readInto(slot, subrack, Protocol::ReadDiagBytes,
                    [this](TModule& r) { ParseDiagBytes(r, RxBuffer); });
}

bool Link::ReadExtDiag(int slot, int subrack) {
    return readInto(
        slot, subrack, Protocol::ReadExtDiag, [this](TModule& r) { ParseExtDiag(r, RxBuffer); },
        "No extended diagnostic");
}

bool Link::ReadMessages(int slot, int subrack) {
    return readInto(
        slot, subrack, Protocol::ReadMessages, [this](TModule& r) { ParseMessages(r, RxBuffer); },
        "No additional messages");
}

bool Link::ReadHtmlMarker(int slot, int subrack) {
    return readInto(slot, subrack, Protocol::ReadHtmlMarker,
                    [this](TModule& r) { ParseLastLine(r, RxBuffer, r.HtmlMarker); });
}

bool Link::ReadValues(int slot, int subrack) {
    return readPart(record(slot, subrack), TModule::ValuesPart, [&] {
        return readInto(
            slot, subrack, Protocol::ReadValues, [this](TModule& r) { ParseValues(r, RxBuffer); },
            "Error loading parameters values");
    });
}

bool Link::ReadSerial(int slot, int subrack) {
    return readInto(slot, subrack, Protocol::ReadSerial,
                    [this](TModule& r) { ParseSerial(r, RxBuffer); });
}

bool Link::WriteValue(int index, qint32 value) {
    const QByteArray command = index == 90 ? QByteArray(Protocol::WriteModuleType.code)
                                           : Protocol::WriteParam.code + QByteArray::number(index);
    if (LinkBusy)
        return false;
    LinkBusy = true;
    if (SendCommand(Protocol::WriteParam.terminator, command + LF + QByteArray::number(value)))
        return true;
    m_state.ReloadRequest = true;
    m_state.SkipInfoReload = true;
    return false;
}

bool Link::CommitEEPROM(int slot, int subrack) {
    if (LinkBusy) {
        // A write waits for its answer: try again later.
        m_host.rearmCommitTimer();
        return false;
    }
    const bool ok = SendCommand(Protocol::Commit.terminator, Protocol::Commit.code);
    record(slot, subrack).Dirty = false;
    return ok;
}

bool Link::LoadDefaults(int slot, int subrack) {
    const QString type = record(slot, subrack).TypeName;
    if (!type.startsWith(QLatin1String("kx350"))) {
        int acknowledged = 0;
        while (acknowledged < 3 &&
               SendCommand(Protocol::LoadDefaults.terminator, Protocol::LoadDefaults.code))
            ++acknowledged;
        return acknowledged == 3;
    }
    // This family takes its defaults as ten writes; the sixth letter names the variant.
    static const QString variants = QStringLiteral("ABC");
    const int v = type.size() > 5 ? int(variants.indexOf(type.at(5))) : -1;
    if (v < 0)
        return false;
    static const int params[10] = {0, 9, 1, 3, 8, 0, 1, 3, 8, 0};
    static const int values[3][10] = {{0, 0, 47, 2, 0, 1, 48, 2, 0, 0},
                                      {0, 0, 47, 0, 0, 1, 48, 0, 0, 0},
                                      {0, 0, 47, 0, 1, 1, 48, 0, 1, 0}};
    bool all = true;
    for (int i = 0; i < 10; ++i)
        all = WriteValue(params[i], values[v][i]) && all;
    m_state.ReloadRequest = true;
    m_state.SkipInfoReload = true;
    return all;
}

bool Link::ResetModule() {
    return SendCommand(Protocol::Reset.terminator, Protocol::Reset.code);
}

bool Link::ResetModuleType() {
    const Protocol::Command& c = Protocol::WriteModuleType;
    return SendCommand(c.terminator, c.code + QByteArray(1, LF) + "0");
}

bool Link::EnterSpecMode() {
    return SendCommand(Protocol::EnterSpecMode.terminator, Protocol::EnterSpecMode.code);
}
