#pragma once

#include <QString>
#include <QStringList>

class Link;
class ModuleTable;

// The diagnostic report of one module, as the diagnostics window shows it: reads the serial
// number, the diagnostic bytes, the extended texts (once per scan) and the additional
// messages, and returns the report's lines in order:
//   "Module #1  TYPE  Vers. V", "SN ...", 21 "=", the replies the scan could not read
//   (ReadFaults), the diagnostic bytes, the extended report
//   (or "No extended diagnostic"), then the additional messages.
// The header lines are kept in the slot's DiagLines; the record's healthy() tells afterwards
// whether the slot is faulty. moduleWord is the word "Module" of the program's texts.
QStringList DiagReport(Link& link, ModuleTable& modules, int slot, int subrack,
                       const QString& moduleWord = QStringLiteral("Module"));
