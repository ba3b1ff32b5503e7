#pragma once

#include "module/Errors.h"
#include "module/Module.h"

#include <QByteArray>
#include <QString>

// The parsers of a module's replies. Each reads the reply (always the link's receive buffer)
// at indices 0..2047 only, stops at its ETX and fills the record. A reply that cannot be read
// (a delimiter missing before the ETX or the 2048th byte, a malformed header, too many rows)
// raises ParseError; the record keeps what was filled up to that point. Faults of the
// module's data that the program reports are added to Messages and counted in ErrorCount.

// Reads the bytes from pos up to `delimiter` into token, leaving out every LF, and moves pos
// past the delimiter. Raises ParseError when the delimiter is not among the readable bytes,
// or when the reply's ETX comes first (the bytes after it belong to earlier replies).
void ReadToken(const TModule& m, QString& token, int& pos, char delimiter);

// The info block (reply to "0"): type, channels, diagnostic byte count, parameter records.
// A second read keeps the Values of the records that exist in both reads.
void ParseInfoBlock(TModule& m, const QByteArray& buffer);
// Values (reply to "2"): one row per channel; CurChannel from parameter 0 of a multi-channel
// module, when it names one of the 100 channels a record holds.
void ParseValues(TModule& m, const QByteArray& buffer);
// Diagnostic bytes (reply to "1"): DiagBytes, DiagFault and the report lines in Messages.
void ParseDiagBytes(TModule& m, const QByteArray& buffer);
// Extended diagnostic texts (reply to ":"): ExtDiag, valid only once read to the ETX.
void ParseExtDiag(TModule& m, const QByteArray& buffer);
// Additional messages (reply to "<"): an empty line, then the texts, appended to Messages.
void ParseMessages(TModule& m, const QByteArray& buffer);
// Version or HTML marker (replies to ";" and "$"): target := the last line; unchanged when
// the reply has no line.
void ParseLastLine(TModule& m, const QByteArray& buffer, QString& target);
// Serial number (reply to "?"): every byte before the ETX, LF bytes left out.
void ParseSerial(TModule& m, const QByteArray& buffer);

// Adds the explanation of the set diagnostic bits to Messages (when ExtDiag is valid).
void ExtDiagReport(TModule& m);

// The value of the first two characters read as upper-case hexadecimal digits. The empty
// text (a byte the module did not send, already reported as missing) gives 0. Any other text
// that does not start with two such digits gives 0xFF: the module sent a byte that is not
// "00", so the slot shows a fault, and the report lists every text of that byte rather than
// say "Diagnostic OK.".
quint8 HexByte(const QString& text);
// text := the four binary digits of the hexadecimal digit c ("A" → "1010"); any other
// character leaves text unchanged.
void NibbleToBin(QChar c, QString& text);
// "A5" → "1010 0101"; a missing or non-hexadecimal character gives an empty half.
QString HexByteToBin(const QString& text);
