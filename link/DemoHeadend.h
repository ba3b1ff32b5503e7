#pragma once

#include <QString>

// The demo head-end behind the port "DEMO": a head-end that a program brings along (the
// simulator, on a pseudo-terminal). The link knows only how to ask for it; each program's
// main registers the one it has, and without one "DEMO" is neither listed nor opened.
namespace DemoHeadend {
// Starts the demo head-end the first time it is asked for and keeps it running (like a
// powered head-end) until the program ends; gives the path of its terminal, or empty with
// *why set when it cannot start.
using Starter = QString (*)(QString* why);
void setStarter(Starter starter);
bool available();

// "DEMO", the port name that stands for it.
const QString& portName();
// Path of the terminal to open as the port "DEMO"; empty with *error set when there is none.
QString devicePath(QString* error);
} // namespace DemoHeadend
