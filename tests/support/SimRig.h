#pragma once

#include "sim/SimHeadend.h"
#include "sim/SimProfile.h"

#include <QByteArrayList>

// A module's faults as the function sets them: faults([](SimFaults& f) { f.absent = true; }).
template <class Set> SimFaults faults(Set set) {
    SimFaults f;
    set(f);
    return f;
}

// The simulator's head-end without a line: a test feeds it frames and reads back what it sent,
// piece by piece as it sent them, and how often it dropped the line.
struct SimRig : SimLine {
    explicit SimRig(const SimProfile& profile = demoProfile()) : headend(profile) {
        headend.setLine(this);
    }
    void send(const QByteArray& bytes, int delayMs) override {
        pieces << bytes;
        shortestDelayMs = qMin(shortestDelayMs, delayMs);
    }
    void drop() override { ++drops; }
    // One frame (or any bytes) fed in; what the head-end sent back to it.
    QByteArray ask(const QByteArray& frame) {
        pieces.clear();
        headend.feed(frame);
        return pieces.join();
    }
    SimHeadend headend;
    QByteArrayList pieces;
    int shortestDelayMs = 0;
    int drops = 0;
};
