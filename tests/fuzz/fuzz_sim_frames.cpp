// Any byte stream fed to the simulated head-end: no crash, no hang, no endless output.
// Links orvex_sim.
#include "sim/SimHeadend.h"
#include "sim/SimProfile.h"

#include <cstddef>
#include <cstdint>

namespace {

// Counts what the modules send; a reply larger than any the demo can make is a bug.
class CountingLine : public SimLine {
public:
    void send(const QByteArray& bytes, int delayMs) override {
        if (bytes.size() > 64 * 1024 || delayMs < 0)
            __builtin_trap();
        total += bytes.size();
    }
    void drop() override {}
    qsizetype total = 0;
};

const SimProfile& profile() {
    static const SimProfile p = [] {
        SimProfile demo = demoProfile();
        demo.resetMs = 0; // a reset must not make the rest of the input fall on deaf ears
        return demo;
    }();
    return p;
}

} // namespace

// Byte 0: length of the pieces the input is fed in (as a serial driver would split it);
// byte 1: line faults switched on for every slot; the rest: the line.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    SimHeadend headend(profile());
    CountingLine line;
    headend.setLine(&line);
    const size_t piece = 1 + data[0];
    SimFaults faults;
    faults.garbleReplies = data[1] & 1 ? -1 : 0;
    faults.unterminated = data[1] & 2 ? -1 : 0;
    faults.badChecksums = data[1] & 4 ? -1 : 0;
    faults.eepromBusy = data[1] >> 6;
    faults.selectPattern = data[1] & 8 ? QStringLiteral("101") : QString();
    for (int g = 0; g < 2; ++g)
        for (int s = 0; s <= SimHeadend::SpecialSlot; ++s)
            headend.setFaults(g, s, faults);
    for (size_t at = 2; at < size; at += piece) {
        const size_t n = size - at < piece ? size - at : piece;
        headend.feed(
            QByteArray(reinterpret_cast<const char*>(data + at), static_cast<qsizetype>(n)));
    }
    // Every frame is answered at most with a bounded reply: output stays proportional.
    if (line.total > 64 * 1024 + static_cast<qsizetype>(size) * 8 * 1024)
        __builtin_trap();
    return 0;
}
