#pragma once

#include "cli/CliOptions.h"

#include <QJsonObject>
#include <QList>
#include <QStringList>

class ModuleTable;
class TModule;

// The results of scan, show and diag as text lines and as JSON, built from the module
// records alone (nothing here talks to a module).
namespace Report {

// Columns padded to their widest cell, two blanks apart; the last column is not padded.
QStringList aligned(const QList<QStringList>& rows);

// "P", "T", "U" (the letter of the info block), else the number.
QString infoKindLetter(quint8 infoKind);
// "number", "number (read-only)", "segmented", "list", "on/off", "info", "terminal", "error".
QString paramKindName(quint8 kind);
// "OK" when the diagnostic bytes are clear, else "FAULT".
QString diagState(const TModule& m);
// True when the record says the module needs attention: a diagnostic fault or errors.
bool hasTrouble(const TModule& m);

// The scan: one line per slot of both subracks, "-" for an empty one.
QStringList scanLines(const ModuleTable& modules);
QJsonObject scanJson(const ModuleTable& modules, const QString& status);

// The module's record and every parameter.
QStringList showLines(const TModule& m, const ModuleAddress& at);
QJsonObject showJson(const TModule& m, const ModuleAddress& at);
QJsonObject paramJson(const TModule& m, int index);
// "raw (shown units)" of a parameter's current value, e.g. "30 (95.0 dBuV)".
QString valueText(const TModule& m, int index);

// The diagnostic report's lines with what the record says about them.
QJsonObject diagJson(const TModule& m, const ModuleAddress& at, const QStringList& lines);

} // namespace Report
