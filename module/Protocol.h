#pragma once

#include <QByteArray>

// The control bytes of the line: frame ends, answers, the console's SYN and EOT, and the keys
// a terminal sends.
namespace Ascii {

constexpr char STX = 0x02, ETX = 0x03, EOT = 0x04, ACK = 0x06, BS = 0x08, LF = 0x0A, CR = 0x0D,
               NAK = 0x15, SYN = 0x16, ETB = 0x17, ESC = 0x1B, DEL = 0x7F;

} // namespace Ascii

// The head-end's addresses and time-outs, the module commands and the pages' header lines, the
// checksum of the special commands and of the pages.
namespace Protocol {

// Slot index of the special address: one module answers there whatever slot it sits in.
constexpr int SpecialSlot = 16;
// Reply time-out (ms) of a presence check: a select frame that may find an empty slot.
constexpr int PresenceTimeout = 80;
// Reply time-out (ms) of a module's reads once it is known to be there.
constexpr int ReadTimeout = 2000;
// How long (ms) a module in its special mode has for the CR that ends its reply.
constexpr int SpecialReplyTimeout = 1000;

// The select frame is "!", then these plus the subrack and the slot index.
constexpr int SelectSubrackBase = 0xC0, SelectSlotBase = 0x80;
// A module's text console: opened with these bytes, closed with those. They are no frame: a
// module that is not in its console takes no notice of the end.
inline const QByteArray ConsoleStart{"9\r"}, ConsoleEnd{"\x03\r", 2};

// What a command does, as the line monitor sorts it.
enum class CommandKind : quint8 { Read, Write, Special, Pages };

// One module command: its code after "!", what the line monitor and the trace call it, the
// byte that ends its reply and the time-out (ms) it is sent with (0: the one in force).
struct Command {
    const char* code;
    CommandKind kind;
    const char* name;
    char terminator;
    int timeout;
};

// The reads and writes of a selected module. A parameter write is its code, the parameter's
// number (Z for the module type), LF and the value.
inline constexpr Command ReadInfo{"0", CommandKind::Read, "read info block", Ascii::ETX,
                                  ReadTimeout},
    ReadVersion{";", CommandKind::Read, "read version", Ascii::ETX, ReadTimeout},
    ReadDiagBytes{"1", CommandKind::Read, "read diagnostic bytes", Ascii::ETX, ReadTimeout},
    ReadExtDiag{":", CommandKind::Read, "read extended diagnostic", Ascii::ETX, ReadTimeout},
    ReadMessages{"<", CommandKind::Read, "read messages", Ascii::ETX, ReadTimeout},
    // A module without pages does not answer it: it waits no longer than a presence check.
    ReadHtmlMarker{"$", CommandKind::Read, "read HTML marker", Ascii::ETX, PresenceTimeout},
    ReadValues{"2", CommandKind::Read, "read values", Ascii::ETX, ReadTimeout},
    ReadSerial{"?", CommandKind::Read, "read serial number", Ascii::ETX, 0},
    WriteParam{"5", CommandKind::Write, "write parameter", Ascii::ACK, 0},
    WriteModuleType{"5Z", CommandKind::Write, "write module type (parameter Z)", Ascii::ACK, 0},
    Commit{"6", CommandKind::Write, "commit", Ascii::ACK, 0},
    LoadDefaults{">", CommandKind::Write, "load defaults", Ascii::ACK, 0},
    Reset{"7", CommandKind::Write, "reset module", Ascii::ACK, 0},
    EnterSpecMode{"&", CommandKind::Special, "enter special mode", Ascii::ACK, 0};

// The module pages' requests: a reply comes in blocks, each ended by ETB, the last by EOT.
// A document request carries the path and query after its code, a request checksum line the
// checksum of the document request that follows it.
inline constexpr Command PagesWindowSize{"G", CommandKind::Pages, "pages: window size", Ascii::ETX,
                                         0},
    PagesStart{"A", CommandKind::Pages, "pages: start page", Ascii::ETB, 0},
    PagesBlockChecksum{"4", CommandKind::Pages, "pages: block checksum", Ascii::ETX, 0},
    PagesNextBlock{"N", CommandKind::Pages, "pages: next block", Ascii::ETB, 0},
    PagesDocument{"B", CommandKind::Pages, "pages: document", Ascii::ETB, 0},
    PagesRequestChecksum{"C", CommandKind::Pages, "pages: request checksum", Ascii::ACK, 0};

// The special commands on a module's EEPROM image (in its special mode).
inline constexpr Command ImageOpen{"03", CommandKind::Special, "open image", Ascii::CR,
                                   SpecialReplyTimeout},
    ImageNext{"04", CommandKind::Special, "next image line", Ascii::CR, SpecialReplyTimeout},
    ImageFirst{"05", CommandKind::Special, "first image line", Ascii::CR, SpecialReplyTimeout},
    ImageWrite{"06", CommandKind::Special, "write image", Ascii::CR, SpecialReplyTimeout},
    ImageWriteLine{"07", CommandKind::Special, "write image line", Ascii::CR, SpecialReplyTimeout};

// Every command, for naming the frames on the line.
inline constexpr const Command* Commands[] = {
    &ReadInfo,       &ReadVersion,        &ReadDiagBytes,  &ReadExtDiag,   &ReadMessages,
    &ReadHtmlMarker, &ReadValues,         &ReadSerial,     &WriteParam,    &WriteModuleType,
    &Commit,         &LoadDefaults,       &Reset,          &EnterSpecMode, &PagesWindowSize,
    &PagesStart,     &PagesBlockChecksum, &PagesNextBlock, &PagesDocument, &PagesRequestChecksum,
    &ImageOpen,      &ImageNext,          &ImageFirst,     &ImageWrite,    &ImageWriteLine};

// What the first line of a module page's reply announces.
enum class PageKind { NONE, HTML, CSS, JS, GIF, JPG, BMP, OTHER, CMD, ACK, NAK };
struct PageHeader {
    const char* line; // without its LF; ACK and NAK headers are that one control byte
    PageKind kind;
    bool encoded; // the content travels 4-in-5 encoded
};
inline constexpr PageHeader PageHeaders[] = {
    {"HTML", PageKind::HTML, false},   {"CSS", PageKind::CSS, false},
    {"JS", PageKind::JS, false},       {"GIF4-5b", PageKind::GIF, true},
    {"JPG4-5b", PageKind::JPG, true},  {"BMP4-5b", PageKind::BMP, true},
    {"OTHER", PageKind::OTHER, false}, {"OTHER4-5b", PageKind::OTHER, true},
    {"CMD", PageKind::CMD, false},     {"\x06", PageKind::ACK, false},
    {"\x15", PageKind::NAK, false},
};
// The header a first line (without its LF) is; nullptr when it is none.
const PageHeader* pageHeader(const QByteArray& line);

// How a special command was answered. SendSpecCmd gives a failure as its number ("-1" …).
enum class SpecOutcome { Reply = 0, WrongChecksum = -1, NoReply = -2, NoChecksum = -3 };

// CRC-16/MODBUS over the first count bytes (all of them when count is negative).
quint16 CRC16(const QByteArray& text, int count = -1);
// A checksum as frames carry it: four upper-case hex digits.
QByteArray crcText(quint16 crc);

} // namespace Protocol
