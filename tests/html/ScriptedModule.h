#pragma once

#include "html/ContentTransfer.h"
#include "html/PagesCodec.h"
#include "html/RawChannel.h"
#include "link/Link.h"
#include "tests/support/PtyPeer.h"

#include <atomic>
#include <deque>
#include <memory>
#include <mutex>

// How a scripted module treats checksums: takes the request's ("!C" ACK, else NAK), gives
// the reply's ("!4", else NAK), and gives a wrong one.
struct PagesChecksums {
    bool takesRequestCrc = true;
    bool givesReplyCrc = true;
    bool wrongReplyCrc = false;
};

// A module serving pages on a scripted peer. Each "!A" or "!B" gets the next reply of the
// script a block at a time (up to its ETB or EOT; "!N" asks for the next block); a reply of
// no bytes, and every request beyond the script, gets silence. "!G" gets the window size
// given (silence without one), "!C" and "!4" what the checksums say.
class ScriptedModule {
public:
    ScriptedModule(PtyPeer& peer, PagesChecksums checksums, const QByteArray& windowSize = {})
        : m_state(std::make_shared<State>()) {
        m_state->checksums = checksums;
        m_state->windowSize = windowSize;
        peer.setResponder([s = m_state](const QByteArray& frame) { return s->answer(frame); });
    }
    void reply(const QByteArray& bytes) {
        std::lock_guard lock(m_state->mutex);
        m_state->replies.push_back(bytes);
    }

private:
    struct State {
        std::mutex mutex;
        PagesChecksums checksums;
        QByteArray windowSize, rest, lastSigned;
        std::deque<QByteArray> replies;

        std::optional<PtyPeer::Reply> answer(const QByteArray& frame) {
            using namespace PagesCodec;
            std::lock_guard lock(mutex);
            if (frame == WindowSizeRequest && !windowSize.isEmpty())
                return PtyPeer::Reply{windowSize};
            if (frame.startsWith("!C"))
                return PtyPeer::Reply{QByteArray(1, checksums.takesRequestCrc ? ACK : NAK)};
            if (frame == ReplyChecksumRequest) {
                QByteArray sum = hex4(Link::CRC16(lastSigned)) + ETX;
                sum[0] = checksums.wrongReplyCrc ? (sum[0] == '0' ? '1' : '0') : sum[0];
                return PtyPeer::Reply{checksums.givesReplyCrc ? sum : QByteArray(1, NAK)};
            }
            if ((frame.startsWith("!A") || frame.startsWith("!B")) && !replies.empty()) {
                rest = replies.front();
                replies.pop_front();
            } else if (frame != NextBlockRequest) {
                return std::nullopt;
            }
            lastSigned = rest.left(rest.indexOf(ETB) + 1);
            lastSigned = lastSigned.isEmpty() ? rest : lastSigned;
            rest.remove(0, lastSigned.size());
            return lastSigned.isEmpty() ? std::nullopt : std::optional(PtyPeer::Reply{lastSigned});
        }
    };
    std::shared_ptr<State> m_state;
};

// A scripted module on its peer, with the pages' raw channel open on the line and the
// reception of replies over it.
struct PagesLine {
    explicit PagesLine(PagesChecksums checksums = {}) : module(peer, checksums) {
        if (!channel.OpenRawPort(peer.path()))
            qFatal("cannot open %s", qPrintable(channel.errorString()));
    }
    PtyPeer peer;
    ScriptedModule module;
    RawChannel channel;
    std::atomic<bool> abort{false};
    ContentTransfer transfer{channel, abort};
};
