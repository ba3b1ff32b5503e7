#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <array>

class TModule;

// One set diagnostic bit: byte 0.., bit 0-7 (bit 0 the least significant), and the text the
// module gives for it (empty when it gives none).
struct DiagBit {
    int byte = 0;
    int bit = 0;
    QString text;
};

// A read-only number of a module as the control panel shows it.
struct ShownValue {
    int index = 0; // the parameter's number on the line
    QString name;
    QString units;
    QString number;   // decimal text with '.' and the parameter's decimals
    int channel = -1; // 0.. on a module with several channels, each of which has the number
};

// What the monitor knows of one slot.
struct SlotStatus {
    bool seen = false;      // a module has answered here since the monitor started
    bool present = false;   // it answers now (false after two failed polls, or gone at a rescan)
    bool fault = false;     // red in the windows: diagnostic bytes not clear, or unreadable replies
    QStringList readFaults; // the replies of the last scan that could not be read
    QString type;
    QString version;
    QList<DiagBit> bits;
    QList<ShownValue> values;
    bool polled = false; // values are read at each poll (the module has read-only numbers)
    bool unread = false; // it answered, but not all its replies came: probed at the next poll
    int failedPolls = 0; // in a row
    quint64 pollErrors = 0;

    // Takes type, version, fault, bits and values from the module's record.
    void takeFrom(const TModule& m);
    // A module that answered without all its replies: faulty, with the replies that did not
    // come; type and version as last read when they did not come either; no bits, no values.
    void takeUnread(const TModule& m, const QStringList& missing);
};

// The head-end as the monitor last saw it; what /metrics and the status page show.
struct HeadendStatus {
    static constexpr int Subracks = 2;
    static constexpr int Slots = 16;

    QString port;
    bool lineUp = false;
    bool bridged = false;     // a bridge client has the line; polling is paused
    QElapsedTimer bridgeHeld; // since the client got the line (while bridged)
    double lastPoll = 0;      // Unix time of the last complete poll cycle, 0 before the first
    double scanDuration = 0;  // seconds the last complete scan took
    quint64 pollCycles = 0;   // complete poll cycles (a complete scan counts as one)
    std::array<SlotStatus, Subracks * Slots> modules;
    QMap<QString, quint64> changes; // by the agent's clients, by command

    // subrack and slot are 0-based indices.
    SlotStatus& at(int subrack, int slot) { return modules[size_t(subrack * Slots + slot)]; }
    const SlotStatus& at(int subrack, int slot) const {
        return modules[size_t(subrack * Slots + slot)];
    }
};
