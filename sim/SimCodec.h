#pragma once

#include <QByteArray>
#include <QtGlobal>

// The byte-level helpers a module needs on the line. Written apart from the program's own
// routines on purpose: the simulator and the program check each other.
namespace SimCodec {

constexpr char STX = 0x02;
constexpr char ETX = 0x03;
constexpr char EOT = 0x04;
constexpr char ACK = 0x06;
constexpr char LF = 0x0A;
constexpr char CR = 0x0D;
constexpr char NAK = 0x15;
constexpr char SYN = 0x16;
constexpr char ETB = 0x17;
constexpr char ESC = 0x1B;

// CRC-16 with the reflected polynomial 0xA001, start 0xFFFF, no final inversion.
quint16 crc16(const QByteArray& bytes);
// Four upper-case hexadecimal digits, most significant first.
QByteArray hex4(quint16 value);
// Parses exactly four hexadecimal digits (either case); false when they are not.
bool parseHex4(const QByteArray& text, quint16* value);

// Packs bytes into groups of five (four 7-bit data bytes, then their top bits and the
// group's byte count) and escapes the bytes that would end a block (EOT, ETB) and ESC itself.
QByteArray encode4in5(const QByteArray& data);

} // namespace SimCodec
