#pragma once

#include "sim/SimProfile.h"

#include <QByteArray>
#include <QMutex>
#include <QStringList>
#include <QVector>
#include <array>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

// Line faults of one slot, for tests and benchmarks. Counters: 0 = off, n > 0 = the next n
// replies of the module, -1 = every reply. Select acknowledgements follow selectPattern
// alone; console echo is never disturbed.
struct SimFaults {
    QString selectPattern;  // cycled per select frame: '1' answer, '0' stay silent ("101":
                            // two of every three); empty = always answer
    int dropReplies = 0;    // the reply is not sent
    int garbleReplies = 0;  // one byte in the middle of the reply is altered
    int badChecksums = 0;   // a checksummed reply (special command, "!4") carries a wrong sum
    int unterminated = 0;   // the reply lacks its last byte (ETX, ACK, CR, EOT or ETB)
    int eepromBusy = 0;     // each image line ("07") is answered "01" this many times first
    bool silent = false;    // answers its select frame, then nothing
    bool absent = false;    // answers nothing at all, as if pulled out of the subrack
    bool closeLine = false; // the next frame addressed to it makes the whole line vanish
    // Acknowledges every "5" write and keeps the value it had.
    bool ignoreWrites = false;
    // Comes back from its next "7" as a new module of its type (see swap()); once.
    bool swapAtReset = false;
};

// A copy of what a module holds, for tests that check what reached it.
struct SimModuleState {
    bool present = false;
    QString typeName;
    int variant = 0;
    int channel = 0;
    QVector<QVector<int>> values;    // [param][channel], what the module works with
    QVector<QVector<int>> committed; // [param][channel], what is in its EEPROM
    QStringList eeprom;
    bool specialMode = false;
    bool consoleOpen = false;
    int commits = 0;
    int resets = 0;
    bool restarting = false; // silent after a reset ("7") for the head-end's reset time
};

// Where the head-end's bytes go (the pty server, or a test's recorder).
class SimLine {
public:
    virtual ~SimLine() = default;
    // delayMs: quiet time on the line before these bytes, after all bytes queued earlier.
    virtual void send(const QByteArray& bytes, int delayMs) = 0;
    // The line vanishes (a fault); called from inside feed(): must not block on the reader.
    virtual void drop() = 0;
};

class SimModule;
class SimConsole;
class SimPages;

// The modules of one line: reads the bytes the program sends, frame by frame, and answers as
// the addressed modules would. Everything is thread-safe; feed() may run on a reader thread
// while a test sets faults or reads the state from another.
class SimHeadend {
public:
    static constexpr int SpecialSlot = 16; // the special address: subrack 0, slot 16
    static constexpr int SynGapMs = 25;    // SYN leaves after the console output, on its own

    explicit SimHeadend(const SimProfile& profile);
    ~SimHeadend();

    void setLine(SimLine* line); // not owned; nullptr: replies go nowhere
    void feed(const QByteArray& bytes);

    // How long a module stays silent after "7"; restarts under way end no later than that.
    void setResetMs(int ms);
    int resetMs() const;
    void setFaults(int subrack, int slot, const SimFaults& faults);
    SimFaults faults(int subrack, int slot) const;
    void clearFaults();
    // The module is replaced by a new one of its type: its profile's values and image, as
    // it left the factory.
    void swap(int subrack, int slot);
    // The module restarts as after "7" (a power dip, a reset sent from elsewhere): silent for
    // the reset time.
    void restart(int subrack, int slot);
    // Changes what "1" reports (e.g. to raise a fault in the middle of a test).
    void setDiagBytes(int subrack, int slot, const QStringList& bytes);
    // A measured (read-only) value of a module changes; false when it cannot hold it.
    bool setMeasured(int subrack, int slot, int param, int value);
    // With wander on, every module's measured numbers move a step with each "2" it answers.
    void setWander(bool on);
    // Hears every command a module takes, with the module's name ("1/6"), as it takes it:
    // called on the thread that feeds.
    using CommandLog = std::function<void(const QString& module, const QByteArray& body)>;
    void setCommandLog(CommandLog log);

    // Every byte received and sent since the start or the last clearLog() (capped at 16 MiB
    // each; the oldest half goes first).
    QByteArray received() const;
    QByteArray sent() const;
    void clearLog();

    SimModuleState state(int subrack, int slot) const;
    std::optional<int> committedValue(int subrack, int slot, int param, int channel) const;
    std::optional<int> currentValue(int subrack, int slot, int param, int channel) const;
    QStringList eepromImage(int subrack, int slot) const;

private:
    struct Slot;
    enum class Check { None, Special, Block };
    enum class Frame { Idle, Body, SelectTail };

    Slot* slotAt(int subrack, int slot) const;
    bool resetting(const Slot& s) const;
    void onByte(char b);
    void onSelect(quint8 subrackByte, quint8 tail);
    void onCommand(const QByteArray& body);
    bool onModuleCommand(Slot& s, const QByteArray& body);
    static QByteArray readReply(const SimModule& m, char command);
    void onWrite(Slot& s, const QByteArray& body);
    bool onAction(Slot& s, char command);
    void restartSlot(Slot& s);
    void onPages(Slot& s, const QByteArray& body);
    void onConsoleByte(Slot& s, char b);
    void openConsole();
    void reply(Slot& s, QByteArray bytes, Check check = Check::None, int delayMs = 0);
    void emitBytes(const QByteArray& bytes, int delayMs);

    mutable QMutex m_mutex;
    std::array<std::array<std::unique_ptr<Slot>, 17>, 2> m_slots;
    SimLine* m_line = nullptr;
    int m_resetMs = 1500;
    bool m_wander = false;
    Slot* m_selected = nullptr;
    QString m_selectedName;
    CommandLog m_commandLog;
    Frame m_frame = Frame::Idle;
    QByteArray m_body;
    quint8 m_subrackByte = 0;
    bool m_nine = false;
    QByteArray m_received;
    QByteArray m_sent;
};
