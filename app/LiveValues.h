#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class TMainFrm;

// While a panel is open, its measured values are read again every few seconds and shown as
// they change ("Settings" → "Live values"; kept in OXLCom.ini, section Live). A read happens
// only from the work loop's idle step, when the line is free and the user is in no
// transaction: no command waits, no value write awaits its commit, no re-read is asked for,
// no console, dialog or open list. Input that comes during the read waits until it is done.
class LiveValues : public QObject {
    Q_OBJECT
public:
    static constexpr int DefaultSeconds = 5;
    static const int Choices[5]; // seconds; 0 is off

    explicit LiveValues(TMainFrm& main);

    // The interval in ms (0: off); stored with setSeconds, not with setIntervalMs (tests).
    int intervalMs() const { return m_intervalMs; }
    void setSeconds(int seconds);
    void setIntervalMs(int ms);
    static int storedSeconds();

    // The panel was built from values read just now: the next read is one interval away.
    void restart();
    // From the work loop's idle step: reads the measured values when one is due and may be.
    void step();
    // Reads done so far.
    int reads() const { return m_reads; }

private:
    bool mayRead();
    void read();

    TMainFrm& m_main;
    QTimer m_timer;
    bool m_due = false;
    int m_intervalMs = 0;
    int m_reads = 0;
};
