#pragma once

#include <QByteArray>

class SimModule;

// The text console of a terminal-kind module: a small shell that answers in VT100/ANSI. The
// head-end opens it on "9" CR and feeds it every byte while it is open; after each piece of
// output the module asks for the next key with SYN (sent by the head-end, on its own).
class SimConsole {
public:
    enum class State { Open, Ended, Closed };

    bool isOpen() const { return m_open; }
    // Opens the console: banner and prompt.
    QByteArray open(const SimModule& module);
    // One byte from the line. *state tells whether the console stays open, ended itself
    // (the output then ends with EOT) or was closed by the program (ETX CR; no output).
    QByteArray key(char byte, const SimModule& module, State* state);
    // The module restarted or lost its selection: the console is gone without a word.
    void drop() { m_open = false; }

private:
    QByteArray run(const QByteArray& line, const SimModule& module, State* state);
    QByteArray prompt(const SimModule& module) const;
    QByteArray meter();

    bool m_open = false;
    bool m_etx = false;
    QByteArray m_line;
    int m_meterTick = 0;
};
