#pragma once

#include <QString>

// The demo head-end of a program: the simulator with the demo profile on a pseudo-terminal,
// started the first time it is asked for and kept running until the program ends. Its
// measured values move a little, as a real head-end's do.
namespace SimDemo {
// The path of its terminal; empty with *why set when it cannot start.
QString terminal(QString* why);
} // namespace SimDemo
