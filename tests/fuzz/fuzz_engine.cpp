// One libFuzzer target for every reader of bytes from outside: the first byte picks the reader,
// the rest is its input. No crash, no hang, no read outside the input (AddressSanitizer), and
// the invariants below hold for any input.
#include "files/FileFormat.h"
#include "files/LoadSteps.h"
#include "html/PagesCodec.h"
#include "html/PagesHttp.h"
#include "link/JsonRpc.h"
#include "link/Link.h"
#include "link/Telnet.h"
#include "module/ParamAccess.h"
#include "module/Parsers.h"
#include "net/RequestGate.h"
#include "sim/SimHeadend.h"
#include "tests/support/SimRig.h"

#include <cstdint>
#include <cstring>
#include <iterator>

namespace {
// The input as the receive buffer, not copied: a read past its end is a read past the buffer.
QByteArray asBuffer(const uint8_t* data, size_t size) {
    return QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
}
void require(bool holds) {
    if (!holds)
        __builtin_trap();
}
// The next bytes of the input as a setting (zeros once the input is used up).
template <class T> T take(const uint8_t*& data, size_t& size) {
    T value{};
    const size_t n = size < sizeof(T) ? size : sizeof(T);
    std::memcpy(&value, data, n);
    data += n;
    size -= n;
    return value;
}

// A malformed reply ends in a ParseError, never in anything else: the link notes it in the
// record as it does for a module's reply.
//
// The info block read twice into one record as the work loop does, then every parameter
// stepped through the access routines with whatever limits the block gave it.
void infoBlock(const uint8_t* data, size_t size) {
    const QByteArray buffer = asBuffer(data, size);
    TModule m;
    for (int i = 0; i < 2; ++i)
        Link::tolerant(m, [&] { ParseInfoBlock(m, buffer); });
    require(m.ParamCount == m.Params.size() && m.VisibleCount <= m.ParamCount && !m.ParseBuf);
    for (int i = 0; i < m.ParamCount; ++i) {
        StepUp(m, i);
        StepDown(m, i);
        TParam p;
        GetParam(m, i, p);
        SetParam(m, i, p);
    }
}

// The values on a record shaped by the first bytes (parameters, channels, limits).
void values(const uint8_t* data, size_t size) {
    TModule m;
    m.ParamCount = take<uint8_t>(data, size) % 16;
    m.Params.resize(m.ParamCount);
    m.ChannelCount = take<int8_t>(data, size);
    m.MultiChannel = m.ChannelCount > 1;
    const qint32 range = take<qint32>(data, size);
    for (TParam& p : m.Params)
        p.Ranges = {range};
    Link::tolerant(m, [&] { ParseValues(m, asBuffer(data, size)); });
    if (m.ParamCount > 0)
        StepUp(m, 0), StepDown(m, 0);
    require(m.CurChannel >= 0 && m.CurChannel < MaxChannels);
}

// Diagnostic bytes with any count (negative and impossible ones included), the extended
// texts and the report over them; the text replies.
void diagnostics(const uint8_t* data, size_t size) {
    TModule m;
    m.DiagCount = take<int16_t>(data, size);
    const QByteArray buffer = asBuffer(data, size);
    Link::tolerant(m, [&] { ParseDiagBytes(m, buffer); });
    Link::tolerant(m, [&] { ParseExtDiag(m, buffer); });
    m.ExtDiagValid = true;
    ExtDiagReport(m);
    Link::tolerant(m, [&] { ParseMessages(m, buffer); });
    Link::tolerant(m, [&] { ParseLastLine(m, buffer, m.VersionText); });
    Link::tolerant(m, [&] { ParseSerial(m, buffer); });
    require(m.SerialText.size() < 2048);
}

// The receiving end of the pages protocol: decoding never makes more than four bytes of each
// five positions; a rewritten page gains exactly ":65535"; a size is positive.
void pageReply(const uint8_t* data, size_t size) {
    const QByteArray input = asBuffer(data, size);
    using namespace PagesCodec;
    require(Decode4in5(input).size() <= input.size() / 5 * 4);
    headerOf(input);
    const QByteArray page = rewriteLocalLink(input, 65535);
    require(page == input || page.size() == input.size() + 8);
    int width = 0, height = 0;
    if (parseWindowSize(input, &width, &height) == SizeResult::Ok)
        require(width > 0 && height > 0);
    require(Link::specReplyResult(input).size() <= input.size() + 2);
}

// A browser request (target, NUL, body): what passes the checks is one "!B" line without a
// control byte and within the length a module takes, and the Retry page never lets the
// address out of its script string.
void httpRequest(const uint8_t* data, size_t size) {
    using namespace PagesHttp;
    const auto method = PageRequest::Method(take<uint8_t>(data, size) % 3);
    const QByteArray input = asBuffer(data, size);
    const qsizetype nul = input.indexOf('\0');
    const QByteArray target = nul < 0 ? input : input.left(nul);
    const QUrl url(QStringLiteral("http://127.0.0.1:88") + QString::fromLatin1(target));
    const PageRequest request =
        pageRequest(method, url, nul < 0 ? QByteArray() : input.mid(nul + 1));
    if (vet({.host = "127.0.0.1:88"}, request).status != 0)
        return;
    const QByteArray text = PagesCodec::documentText(request.path, request.params);
    const QByteArray frame = PagesCodec::documentRequest(text);
    require(frame.startsWith("!B") && frame.endsWith('\r') && text.size() <= MaxDocumentText);
    for (qsizetype i = 0; i + 1 < frame.size(); ++i)
        require(quint8(frame.at(i)) >= 0x20 && frame.at(i) != 0x7F);
    const QByteArray retry = noResponsePage(request.path, request.params).body;
    const qsizetype open = retry.indexOf("window.open('") + 13;
    const qsizetype close = retry.indexOf("','_self');\"> </BODY></HTML>", open);
    require(close >= open);
    for (char c : retry.mid(open, close - open))
        require(c != '\'' && c != '"' && c != '<' && c != '\\');
}

// Hands the input to feed in pieces of the given length.
template <class F> void inPieces(const uint8_t* data, size_t size, size_t piece, F feed) {
    for (size_t at = 0; at < size; at += piece)
        feed(asBuffer(data + at, qMin(piece, size - at)));
}

// A browser connection's bytes through the request gate, whole and in pieces of the first
// byte's length: the same verdict and targets either way, never more held than the caps.
void requestGate(const uint8_t* data, size_t size) {
    const size_t piece = 1 + take<uint8_t>(data, size);
    RequestScanner whole(take<uint8_t>(data, size) * 8), cut = whole;
    const int status = whole.feed(asBuffer(data, size));
    require(QList<int>{0, 400, 411, 413, 429, 431}.contains(status));
    inPieces(data, size, piece, [&](const QByteArray& bytes) {
        cut.feed(bytes);
        require(cut.headBytes() <= RequestScanner::MaxHeadBytes &&
                cut.pendingTargets() <= RequestScanner::MaxPendingRequests);
    });
    require(cut.refused() == status && cut.pendingTargets() == whole.pendingTargets());
    while (whole.pendingTargets() > 0)
        require(whole.takeTarget() == cut.takeTarget());
}

// What a terminal server sends, decoded in pieces of the first byte's length: data and events
// never come to more than the input, nor a subnegotiation beyond the cap; escaped data and a
// com-port command come back as they were.
void telnetStream(const uint8_t* data, size_t size) {
    using namespace Telnet;
    const size_t piece = 1 + take<uint8_t>(data, size);
    const QByteArray input = asBuffer(data, size);
    Decoder decoder;
    QList<Event> events, none, one;
    qsizetype out = 0;
    inPieces(data, size, piece,
             [&](const QByteArray& bytes) { out += decoder.feed(bytes, &events).size(); });
    for (const Event& e : events) {
        require(e.data.size() < Decoder::MaxSubBytes);
        out += 3 + e.data.size(); // IAC, verb, option at least
    }
    require(out <= input.size() && Decoder().feed(escape(input), &none) == input && none.isEmpty());
    if (!input.isEmpty() && input.size() < Decoder::MaxSubBytes - 1)
        require(Decoder().feed(comPort(quint8(input[0]), input.mid(1)), &one).isEmpty() &&
                one == QList<Event>{{SB, ComPort, input}});
}

// A settings or configuration file: the reader, the field splitter, the check.
void settingsFile(const uint8_t* data, size_t size) {
    const QByteArray content = asBuffer(data, size);
    const QList<QByteArray> lines = FileFormat::splitLines(content);
    for (const QByteArray& line : lines) {
        FileFormat::headerFields(line);
        FileFormat::valueFields(line);
        QByteArray field;
        for (int pos = 1; pos > 0;)
            pos = FileFormat::NextField(pos, ' ', line, field);
    }
    require(LoadSteps::firstFileError(lines, content.size() % 2 == 0) < int(lines.size()));
}

// Any byte stream to the demo head-end, fed in pieces of the first byte's length, with the
// line faults of the second byte on every slot: output stays proportional to the input, no
// delay is negative.
void simFrames(const uint8_t* data, size_t size) {
    static const SimProfile profile = demoProfile();
    const size_t piece = 1 + take<uint8_t>(data, size);
    const uint8_t bits = take<uint8_t>(data, size);
    SimRig rig(profile);
    rig.headend.setResetMs(0); // a reset must not make the rest of the input fall on deaf ears
    SimFaults faults;
    faults.garbleReplies = bits & 1 ? -1 : 0;
    faults.unterminated = bits & 2 ? -1 : 0;
    faults.badChecksums = bits & 4 ? -1 : 0;
    faults.selectPattern = bits & 8 ? QStringLiteral("101") : QString();
    faults.eepromBusy = bits >> 6;
    for (int g = 0; g < 2; ++g)
        for (int s = 0; s <= SimHeadend::SpecialSlot; ++s)
            rig.headend.setFaults(g, s, faults);
    qsizetype total = 0; // a reply larger than any the demo makes is a bug
    inPieces(data, size, piece, [&](const QByteArray& bytes) {
        total += rig.ask(bytes).size();
        for (const QByteArray& reply : rig.pieces)
            require(reply.size() <= 64 * 1024);
    });
    require(total <= 64 * 1024 + qsizetype(size) * 8 * 1024 && rig.shortestDelayMs >= 0);
}

// What an agent's client sends, in pieces of the first byte's length: every line it ends is
// read as a request or answered with an error, and no line kept is longer than the limit.
void agentRequests(const uint8_t* data, size_t size) {
    const size_t piece = 1 + take<uint8_t>(data, size);
    JsonRpc::LineReader reader;
    inPieces(data, size, piece, [&](const QByteArray& bytes) {
        for (const JsonRpc::LineReader::Line& line : reader.feed(bytes)) {
            require(line.bytes.size() <= JsonRpc::MaxLineBytes && !line.bytes.contains('\n'));
            JsonRpc::Message m;
            const auto error = JsonRpc::read(line.bytes, &m);
            require(error.has_value() || m.isAnswer() || !m.method.isEmpty());
            if (error)
                JsonRpc::error(m.id, *error);
        }
    });
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using Reader = void (*)(const uint8_t*, size_t);
    static const Reader readers[] = {infoBlock,    values,       diagnostics, pageReply,
                                     httpRequest,  settingsFile, simFrames,   requestGate,
                                     telnetStream, agentRequests};
    if (size > 0)
        readers[data[0] % std::size(readers)](data + 1, size - 1);
    return 0;
}
