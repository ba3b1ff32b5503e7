#pragma once

#include "html/PagesCodec.h"
#include "link/Link.h"
#include "tests/support/PtyPeer.h"

#include <QList>
#include <deque>
#include <memory>
#include <mutex>

// A module serving pages on a scripted peer: each "!A" or "!B" request gets the next reply
// of the script, sent in blocks, "!N" the reply's next block, "!4" the checksum of the block
// sent last, "!C" ACK or NAK. The test reads back the frames the program sent.
class ScriptedModule {
public:
    struct Reply {
        QByteArray header;       // sent in front of the first block
        QList<QByteArray> parts; // content of each block; the last ends with EOT
        int delayMs = 0;         // -1: no answer
        bool raw = false;        // the header alone, without any terminator
    };
    struct Behaviour {
        bool takesRequestCrc = true;
        bool givesReplyCrc = true;
        bool wrongReplyCrc = false;
    };

    explicit ScriptedModule(PtyPeer& peer) : m_state(std::make_shared<State>()) {
        auto state = m_state;
        peer.setResponder([state](const QByteArray& frame) { return state->answer(frame); });
    }

    void reply(const QByteArray& header, const QList<QByteArray>& parts, int delayMs = 0) {
        std::lock_guard lock(m_state->mutex);
        m_state->replies.push_back({header, parts, delayMs});
    }
    void silence() { reply({}, {}, -1); } // the next request gets no answer
    // The next request gets these bytes and nothing more.
    void rawReply(const QByteArray& bytes) {
        std::lock_guard lock(m_state->mutex);
        m_state->replies.push_back({bytes, {}, 0, true});
    }
    // The answer to "!G".
    void setWindowSize(const QByteArray& bytes) {
        std::lock_guard lock(m_state->mutex);
        m_state->windowSize = bytes;
    }
    void setBehaviour(Behaviour b) {
        std::lock_guard lock(m_state->mutex);
        m_state->behaviour = b;
    }

    // The checksum answer a module gives for these signed bytes.
    static QByteArray crcAnswer(const QByteArray& signedBytes) {
        return PagesCodec::hex4(Link::CRC16(signedBytes)) + PagesCodec::ETX;
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

        std::optional<PtyPeer::Reply> block(int index, int delayMs) {
            const bool last = index == current.parts.size() - 1;
            lastSigned = (index == 0 ? current.header : QByteArray()) + current.parts.at(index) +
                         (last ? PagesCodec::EOT : PagesCodec::ETB);
            next = index + 1;
            return PtyPeer::Reply{lastSigned, delayMs};
        }

        std::optional<PtyPeer::Reply> answer(const QByteArray& frame) {
            std::lock_guard lock(mutex);
            if (frame == "!G\r")
                return windowSize.isEmpty() ? std::nullopt
                                            : std::optional(PtyPeer::Reply{windowSize});
            if (frame.startsWith("!C"))
                return PtyPeer::Reply{
                    QByteArray(1, behaviour.takesRequestCrc ? PagesCodec::ACK : PagesCodec::NAK)};
            if (frame == "!4\r") {
                if (!behaviour.givesReplyCrc)
                    return PtyPeer::Reply{QByteArray(1, PagesCodec::NAK)};
                QByteArray a = crcAnswer(lastSigned);
                if (behaviour.wrongReplyCrc)
                    a[0] = a[0] == '0' ? '1' : '0';
                return PtyPeer::Reply{a};
            }
            if (frame == "!N\r")
                return next < current.parts.size() ? block(next, 0) : std::nullopt;
            if ((frame.startsWith("!A") || frame.startsWith("!B")) && !replies.empty()) {
                current = replies.front();
                replies.pop_front();
                if (current.delayMs < 0)
                    return std::nullopt;
                if (current.raw)
                    return PtyPeer::Reply{current.header};
                return block(0, current.delayMs);
            }
            return std::nullopt;
        }
    };
    std::shared_ptr<State> m_state;
};
