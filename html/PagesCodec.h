#pragma once

#include "module/Protocol.h"

#include <QByteArray>
#include <climits>

// The bytes of the module pages protocol: reply kinds and their header lines, the 4-in-5
// decoding of pictures, the rewriting of local links, the request lines. Pure functions,
// no line and no clock.
namespace PagesCodec {

using namespace Ascii;

using ReplyKind = Protocol::PageKind;

struct Header {
    ReplyKind kind = ReplyKind::NONE;
    bool encoded = false; // the content travels 4-in-5 encoded
};

// The kind a whole header line (LF included) announces; NONE when it is no header line.
Header headerOf(const QByteArray& line);
const char* kindName(ReplyKind kind);

// The 4-in-5 decoding with ESC escapes; an incomplete last group is dropped.
QByteArray Decode4in5(const QByteArray& encoded);

// The local link prefix of module pages, and what its first occurrence becomes so that it
// names our server's port; CR LF is appended when a link was rewritten.
inline constexpr char LocalLinkPrefix[] = "http://127.0.0.1/";
QByteArray rewriteLocalLink(const QByteArray& page, quint16 port);

// Requests to the module: "!", the command's code, what it carries, CR.
QByteArray request(const Protocol::Command& command, const QByteArray& text = {});
inline const QByteArray WindowSizeRequest = request(Protocol::PagesWindowSize);
inline const QByteArray StartPageRequest = request(Protocol::PagesStart);
inline const QByteArray ReplyChecksumRequest = request(Protocol::PagesBlockChecksum);
inline const QByteArray NextBlockRequest = request(Protocol::PagesNextBlock);
// What a document request carries after its code: the path without its leading "/"
// characters, then "?" and the query when there is one.
QByteArray documentText(const QByteArray& path, const QByteArray& query);
// The document request of that text.
QByteArray documentRequest(const QByteArray& text);
// The request checksum line of a document request's text: the four upper-case hexadecimal
// digits of the text's checksum.
QByteArray requestChecksumLine(const QByteArray& text);

// The window size reply (text before ETX): width and height lines. A size is valid data when
// it is positive and at most the largest the caller can show (the screen's, for a window).
enum class SizeResult { Ok, NoResponse, InvalidResponse, InvalidData };
SizeResult parseWindowSize(const QByteArray& reply, int* width, int* height, int maxWidth = INT_MAX,
                           int maxHeight = INT_MAX);

} // namespace PagesCodec
