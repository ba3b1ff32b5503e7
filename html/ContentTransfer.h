#pragma once

#include "html/PagesCodec.h"

#include <QByteArray>
#include <atomic>

class RawChannel;

// One module's page transfer on the raw channel: the reception of a reply in blocks with
// its checksums, the window size exchange, and the requests with their checksum line.
// Runs on the pages worker thread; the reply time-out is silence on the line measured with
// a monotonic clock there (longer by the round trip of a remote line).
class ContentTransfer {
public:
    using ReplyKind = PagesCodec::ReplyKind;

    static constexpr int ReplySilenceMs = 1000;
    static constexpr int MaxBlocks = 40;

    ContentTransfer(RawChannel& channel, std::atomic<bool>& abort);

    // The port of the local server that local links are rewritten to.
    void setServerPort(quint16 port) { m_serverPort = port; }
    quint16 serverPort() const { return m_serverPort; }

    // Receives one reply. True when it ended without a time-out (or with a checksum
    // mismatch, reported as the command "RESEND"); false after a time-out, with Data
    // holding what had come, or at once when the channel is closed or we are stopping.
    bool FetchReply(ReplyKind& Kind, QByteArray& Data);

    // "!G" and the text up to ETX, which must come whole within the reply time-out; empty
    // when it does not.
    QByteArray exchangeWindowSize();
    // "!A" CR.
    void sendStartRequest();
    // The checksum line while the module takes it, then "!B" + text + CR byte by byte.
    void sendDocumentRequest(const QByteArray& text);

    bool RequestCrcOn = true;
    bool ReplyCrcOn = true;
    QByteArray ReplyCarry;

private:
    enum class BlockEnd { Terminator, TimedOut, Stopped };
    struct Block {
        QByteArray text;
        int last = 0; // the last byte read: the terminator, or 0 after a read without one
    };
    struct Reception {
        ReplyKind kind = ReplyKind::NONE;
        bool encoded = false;
        bool headerSeen = false;
        QByteArray header;
    };

    BlockEnd receiveBlock(Block& block, Reception& r);
    // How the first bytes a block brings from the line compare with the answer to a reply
    // checksum request that we stopped waiting for.
    enum class Late { No, Partly, Whole };
    Late lateChecksum(const QByteArray& got, bool headerSeen) const;
    // The reply checksum exchange after a block; false on a mismatch.
    bool checkBlock(const Block& block, Reception& r);
    bool stopping() const;
    // The silence that ends a reply: ReplySilenceMs, and the round trip of a remote line.
    int silenceMs() const;
    void send(const QByteArray& bytes);

    RawChannel& m_channel;
    std::atomic<bool>& m_abort;
    quint16 m_serverPort = 88;
    // Hexadecimal digits of a reply checksum answer still to come after we stopped waiting for
    // it (-1: none). A busy module answers "!4" only after the blocks it had queued, so the
    // answer comes at the start of a later block, maybe of a later reply: never page content.
    int m_lateDigits = -1;
};
