#pragma once

#include <QByteArray>
#include <QList>
#include <QVector>
#include <array>
#include <optional>

class TModule;

// The line grammar shared by module settings files (*.mst) and head-end configuration files
// (*.mmh). Lines are 8-bit text ended by CR LF; module texts travel as Latin-1, one byte per
// character, so a file written here loads on any installation and the other way round.
namespace FileFormat {

inline constexpr char CommentMark = ';';
inline constexpr char CtrlZ = 26;
inline const QByteArray LineEnd("\r\n");
inline const QByteArray FirstComment(";Machine generated file. DO NOT EDIT !");
inline const QByteArray DateComment(";Creation date/time ");
inline const QByteArray Mod("MOD");
inline const QByteArray ModEnd("MODEND");
inline const QByteArray Param("PARAM");
inline const QByteArray Eeprom("EEPROM");
inline const QByteArray ErrorPrefix("ERROR");
// The block line of a module that refused its special mode, as every installation writes it.
inline const QByteArray NoSpecialMode("ERROR no spec mode");
// Block lines in place of what a file cannot hold: a type or version text that would not
// read back, an image that does not end or holds a line that would not read back. Readers
// skip them, so the file stays loadable; a load reports such a block as not matching.
inline const QByteArray BadTypeName("ERROR type name cannot be stored");
inline const QByteArray BadVersion("ERROR version cannot be stored");
inline const QByteArray InfoNotRead("ERROR module information not read");
inline const QByteArray ImageTooLong("ERROR image does not end");
inline const QByteArray BadImageLine("ERROR image line cannot be stored");
// In place of the kind line of an image module whose image was not read: a comment, so the
// block ends after the version line and a load checks the module and writes nothing to it.
inline const QByteArray ImageNotRead(";EEPROM image not read");
// Image lines of one module at most: far above any real image (a 64 KiB EEPROM in lines of
// 16 bytes takes 4096).
inline constexpr int MaxImageLines = 8192;

// The file's lines as the reader sees them: a line ends at CR and one LF right after that CR
// is skipped; a lone LF belongs to the line; Ctrl-Z ends the file. Text after the last CR is
// a line of its own when it is not empty.
QList<QByteArray> splitLines(const QByteArray& content);

// field := Line from the 1-based position pos up to, not including, the first sep at or after
// pos (or to the end). Returns the position after that separator while it lies inside the
// line, else -1. A position below 1 gives an empty field.
int NextField(int pos, char sep, const QByteArray& line, QByteArray& field);

// A decimal 32-bit integer with an optional sign and nothing else.
std::optional<qint32> toInteger(const QByteArray& field);

// The address line "subrack slot channels": the first three fields, each an integer.
std::optional<std::array<qint32, 3>> headerFields(const QByteArray& line);
// The fields of a value line, each an integer, in order.
std::optional<QVector<qint32>> valueFields(const QByteArray& line);

// The address line of a block.
QByteArray headerLine(int subrack, int slot, qint32 channels);
// The value line of channel k (0..99) of a parameter module: every parameter's raw value
// followed by one space; for a module with several channels the first character is replaced
// by the one of code 48 + k, so that the channel selector picks channel k when the line is
// written back.
QByteArray valueLine(const TModule& m, int k);
// A module's text as a line: Latin-1, cut at its first CR or Ctrl-Z, either of which would
// end the line (or the file) for a reader.
QByteArray textLine(const QString& text);
// The line that stores a module's text, or nothing when a reader would not get the text back
// from it: an empty line stops every reader, a leading ";" makes it a comment, and a CR or
// Ctrl-Z would cut it short.
std::optional<QByteArray> storedLine(const QString& text);

} // namespace FileFormat
