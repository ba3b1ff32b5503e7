#include "html/ContentTransfer.h"

#include "html/RawChannel.h"
#include "module/Protocol.h"

#include <QElapsedTimer>
#include <algorithm>
#include <cctype>

using namespace PagesCodec;

namespace {
// Reads one byte, but not past the end of the silence allowed.
int readWithin(RawChannel& channel, const QElapsedTimer& clock, int limitMs) {
    const qint64 left = limitMs - clock.elapsed();
    const int wait = int(std::clamp<qint64>(left, 1, RawChannel::ReadByteTimeoutMs));
    return channel.readByte(wait);
}
} // namespace

ContentTransfer::ContentTransfer(RawChannel& channel, std::atomic<bool>& abort)
    : m_channel(channel), m_abort(abort) {}

int ContentTransfer::silenceMs() const {
    // Over a remote line the first byte of a reply comes later by the round trip.
    return ReplySilenceMs + m_channel.roundTripMs();
}

bool ContentTransfer::stopping() const {
    return m_abort.load() || !m_channel.isOpen();
}

void ContentTransfer::send(const QByteArray& bytes) {
    m_channel.write(bytes);
}

ContentTransfer::BlockEnd ContentTransfer::receiveBlock(Block& block, Reception& r) {
    QElapsedTimer silence; // restarted by every byte that comes
    silence.start();
    const int limit = silenceMs();
    const qsizetype fresh = block.text.size(); // what a timed-out reception left goes before
    bool lateHere = m_lateDigits >= 0;
    for (;;) {
        if (stopping())
            return BlockEnd::Stopped;
        const int b = readWithin(m_channel, silence, limit);
        if (b < 0) {
            block.last = 0;
            if (silence.elapsed() >= limit)
                return BlockEnd::TimedOut;
            continue;
        }
        block.last = b;
        if (b == EOT || b == ETB)
            return BlockEnd::Terminator;
        block.text += char(b);
        silence.restart();
        if (lateHere) {
            const Late late = lateChecksum(block.text.mid(fresh), r.headerSeen);
            lateHere = late == Late::Partly;
            if (late == Late::Whole) {
                block.text.truncate(fresh);
                m_lateDigits = -1;
                continue;
            }
        }
        if (r.headerSeen || b != LF)
            continue;
        // A module that answered the request checksum line after we had given up waiting
        // (it was slow, or we were) puts that late ACK or NAK in front of its reply: not part
        // of the reply, it is passed over to find the header line behind it.
        qsizetype start = 0;
        Header h = headerOf(block.text);
        while (h.kind == ReplyKind::NONE && start < block.text.size() - 1 &&
               (block.text.at(start) == ACK || block.text.at(start) == NAK))
            h = headerOf(block.text.mid(++start));
        if (h.kind == ReplyKind::NONE)
            continue;
        r.kind = h.kind;
        r.encoded = h.encoded;
        r.headerSeen = true;
        r.header = block.text.mid(start);
        block.text.clear();
        ReplyCarry.clear();
    }
}

ContentTransfer::Late ContentTransfer::lateChecksum(const QByteArray& got, bool headerSeen) const {
    // A refusal (NAK) in front of a reply's header line is passed over by the header search.
    if (got.size() == 1 && got.at(0) == NAK)
        return m_lateDigits == 4 && headerSeen ? Late::Whole : Late::No;
    const bool ended = got.endsWith(ETX);
    const QByteArray digits = ended ? got.chopped(1) : got;
    const bool hex = std::all_of(digits.begin(), digits.end(), [](char c) {
        return std::isxdigit(static_cast<unsigned char>(c));
    });
    if (!hex || digits.size() > m_lateDigits)
        return Late::No;
    if (!ended)
        return Late::Partly;
    return digits.size() == m_lateDigits ? Late::Whole : Late::No;
}

bool ContentTransfer::checkBlock(const Block& block, Reception& r) {
    if (r.kind == ReplyKind::CMD || r.kind == ReplyKind::ACK || r.kind == ReplyKind::NAK ||
        !ReplyCrcOn)
        return true;
    send(ReplyChecksumRequest);
    QByteArray answer;
    int last = -1;
    for (int reads = 0; reads < 5; ++reads) {
        last = m_channel.readByte();
        if (last < 0)
            break;
        answer += char(last);
        if (last == ETX || last == NAK)
            break;
    }
    if (last < 0) // the rest of the answer may still come: the digits not read, then ETX
        m_lateDigits = int(std::max<qsizetype>(0, 4 - answer.size()));
    if (last < 0 || last == NAK) {
        ReplyCrcOn = false; // the module gives no checksums: none for this window
        return true;
    }
    const QByteArray covered = r.header + block.text + char(block.last);
    r.header.clear();
    return Protocol::crcText(Protocol::CRC16(covered)) == answer.left(4).toUpper();
}

bool ContentTransfer::FetchReply(ReplyKind& Kind, QByteArray& Data) {
    Kind = ReplyKind::NONE;
    Data.clear();
    if (stopping())
        return false;
    Reception r;
    QByteArray all;
    int blocks = 0;
    bool timedOut = false;
    for (;;) {
        // What a timed-out reception left goes in front of this reception, once.
        Block block{blocks == 0 ? ReplyCarry : QByteArray(), 0};
        const BlockEnd end = receiveBlock(block, r);
        Kind = r.kind;
        if (end == BlockEnd::Stopped) {
            Data = all + block.text;
            return false;
        }
        timedOut = end == BlockEnd::TimedOut;
        if (!checkBlock(block, r)) {
            ReplyCarry.clear();
            Kind = ReplyKind::CMD;
            Data = "RESEND";
            return true;
        }
        all += block.text;
        if (block.last != ETB || ++blocks >= MaxBlocks)
            break;
        send(NextBlockRequest);
    }
    if (r.encoded)
        all = Decode4in5(all);
    Data = Kind == ReplyKind::HTML ? rewriteLocalLink(all, m_serverPort) : all;
    if (all.size() == 1 && all.at(0) == NAK)
        Kind = ReplyKind::NAK;
    if (timedOut) {
        ReplyCarry = Data;
        return false;
    }
    ReplyCarry.clear();
    return true;
}

QByteArray ContentTransfer::exchangeWindowSize() {
    send(WindowSizeRequest);
    QElapsedTimer clock; // not restarted by bytes: the whole reply must come in time
    clock.start();
    QByteArray text;
    const int limit = silenceMs();
    while (clock.elapsed() < limit) {
        if (stopping())
            return {};
        const int b = readWithin(m_channel, clock, limit);
        if (b == ETX)
            return text;
        if (b >= 0)
            text += char(b);
    }
    return {};
}

void ContentTransfer::sendStartRequest() {
    send(StartPageRequest);
}

void ContentTransfer::sendDocumentRequest(const QByteArray& text) {
    if (RequestCrcOn) {
        const QByteArray line = requestChecksumLine(text);
        send(line);
        int b = m_channel.readByte();
        if (b < 0) {
            send(line);
            b = m_channel.readByte();
        }
        if (b < 0 || b == NAK)
            RequestCrcOn = false;
    }
    // One byte per write, as the modules' receivers were built for.
    for (const char c : documentRequest(text))
        send(QByteArray(1, c));
}
