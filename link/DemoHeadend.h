#pragma once

#include <QString>

// The built-in demo head-end: the simulator, started inside this process on a
// pseudo-terminal the first time the port "DEMO" is opened, and kept running (like a
// powered head-end) until the program ends.
namespace DemoHeadend {
// "DEMO", the port name that stands for it.
const QString& portName();
// Path of the terminal to open as the port "DEMO"; empty with *error set when it cannot start.
QString devicePath(QString* error);
} // namespace DemoHeadend
