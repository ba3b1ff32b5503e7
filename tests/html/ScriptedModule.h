#pragma once

#include "html/ContentTransfer.h"
#include "html/PagesCodec.h"
#include "html/RawChannel.h"
#include "link/Link.h"
#include "tests/support/PtyPeer.h"

#include <QList>
#include <atomic>
#include <deque>
#include <memory>
#include <mutex>

// A module serving pages on a scripted peer: each "!A" or "!B" request gets the next reply
// of the script, sent in blocks, "!N" the reply's next block, "!4" the checksum of the block
// sent last, "!C" ACK or NAK, "!G" the window size. Without a scripted reply: silence.
// How the module treats checksums: takes the request's ("!C" ACK, else NAK), gives the
// reply's ("!4", else NAK), and gives a wrong one.
struct PagesChecksums {
    bool takesRequestCrc = true;
    bool givesReplyCrc = true;
    bool wrongReplyCrc = false;
};

class ScriptedModule {
public:
    using Behaviour = PagesChecksums;
    struct Reply {
        QByteArray header;       // in front of the first block
        QList<QByteArray> parts; // content of each block; the last ends with EOT
        bool silent = false;
        bool raw = false; // the header alone, without any terminator
    };

    explicit ScriptedModule(PtyPeer& peer, Behaviour b = Behaviour());

    void reply(const QByteArray& header, const QList<QByteArray>& parts) { add({header, parts}); }
    void silence() { add({{}, {}, true}); }
    void rawReply(const QByteArray& bytes) { add({bytes, {}, false, true}); }
    void setWindowSize(const QByteArray& bytes) {
        std::lock_guard lock(m_state->mutex);
        m_state->windowSize = bytes;
    }

private:
    struct State {
        std::mutex mutex;
        Behaviour behaviour;
        std::deque<Reply> replies;
        Reply current;
        int next = 0;
        QByteArray lastSigned;
        QByteArray windowSize;

        PtyPeer::Reply block(int index) {
            const bool last = index == current.parts.size() - 1;
            lastSigned = (index == 0 ? current.header : QByteArray()) + current.parts.at(index) +
                         (last ? PagesCodec::EOT : PagesCodec::ETB);
            next = index + 1;
            return {lastSigned};
        }
        std::optional<PtyPeer::Reply> answer(const QByteArray& frame) {
            std::lock_guard lock(mutex);
            if (frame == "!G\r" && !windowSize.isEmpty())
                return PtyPeer::Reply{windowSize};
            if (frame.startsWith("!C"))
                return PtyPeer::Reply{
                    QByteArray(1, behaviour.takesRequestCrc ? PagesCodec::ACK : PagesCodec::NAK)};
            if (frame == "!4\r") {
                QByteArray a = PagesCodec::hex4(Link::CRC16(lastSigned)) + PagesCodec::ETX;
                if (behaviour.wrongReplyCrc)
                    a[0] = a[0] == '0' ? '1' : '0';
                return PtyPeer::Reply{behaviour.givesReplyCrc ? a : QByteArray(1, PagesCodec::NAK)};
            }
            if (frame == "!N\r" && next < current.parts.size())
                return block(next);
            if ((frame.startsWith("!A") || frame.startsWith("!B")) && !replies.empty()) {
                current = replies.front();
                replies.pop_front();
                if (current.silent || current.raw)
                    return current.raw ? std::optional(PtyPeer::Reply{current.header})
                                       : std::nullopt;
                return block(0);
            }
            return std::nullopt;
        }
    };
    void add(const Reply& r) {
        std::lock_guard lock(m_state->mutex);
        m_state->replies.push_back(r);
    }
    std::shared_ptr<State> m_state;
};

inline ScriptedModule::ScriptedModule(PtyPeer& peer, Behaviour b)
    : m_state(std::make_shared<State>()) {
    m_state->behaviour = b;
    peer.setResponder([state = m_state](const QByteArray& frame) { return state->answer(frame); });
}

// A scripted module on its peer, with the pages' raw channel open on the line and the
// reception of replies over it.
struct PagesLine {
    explicit PagesLine(PagesChecksums b = {}) : module(peer, b) {
        if (!channel.OpenRawPort(peer.path()))
            qFatal("cannot open %s", qPrintable(channel.errorString()));
    }
    PtyPeer peer;
    ScriptedModule module;
    RawChannel channel;
    std::atomic<bool> abort{false};
    ContentTransfer transfer{channel, abort};
};
