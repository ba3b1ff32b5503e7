#pragma once

#include <QByteArray>

// The control bytes of the line: frame ends, answers, the console's SYN and EOT, and the keys
// a terminal sends.
namespace Ascii {

constexpr char STX = 0x02, ETX = 0x03, EOT = 0x04, ACK = 0x06, BS = 0x08, LF = 0x0A, CR = 0x0D,
               NAK = 0x15, SYN = 0x16, ETB = 0x17, ESC = 0x1B, DEL = 0x7F;

} // namespace Ascii

// The head-end's addresses, the time a slot has to answer its select frame, the checksum of
// the special commands and of the pages.
namespace Protocol {

// Slot index of the special address: one module answers there whatever slot it sits in.
constexpr int SpecialSlot = 16;
// Reply time-out (ms) of a presence check: a select frame that may find an empty slot.
constexpr int PresenceTimeout = 80;

// The special commands on a module's EEPROM image (in its special mode).
inline constexpr char ImageOpen[] = "03", ImageNext[] = "04", ImageFirst[] = "05",
                      ImageWrite[] = "06", ImageWriteLine[] = "07";

// How a special command was answered. SendSpecCmd gives a failure as its number ("-1" …).
enum class SpecOutcome { Reply = 0, WrongChecksum = -1, NoReply = -2, NoChecksum = -3 };

// CRC-16/MODBUS over the first count bytes (all of them when count is negative).
quint16 CRC16(const QByteArray& text, int count = -1);
// A checksum as frames carry it: four upper-case hex digits.
QByteArray crcText(quint16 crc);

} // namespace Protocol
