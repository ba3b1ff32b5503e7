#pragma once

#include <QString>

// What the file operations say in the status bar and in their message box.
namespace FileTexts {
inline const QString Writing = QStringLiteral("Writing conf. file. Wait...");
inline const QString Loading = QStringLiteral("Loading from file. Wait...");
inline const QString Done = QStringLiteral("Done.");
inline const QString ErrorsFound = QStringLiteral(" Errors found"); // with its leading blank
inline const QString Mark = QStringLiteral("-");                    // FileStatusMark
inline const QString LoadStopped = QStringLiteral("Loading stopped.");
inline const QString FileIOError = QStringLiteral("File I/O error.");
} // namespace FileTexts
