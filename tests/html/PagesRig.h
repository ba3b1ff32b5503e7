#pragma once

#include "html/ContentTransfer.h"
#include "html/ModulePages.h"
#include "html/PagesCodec.h"
#include "html/RawChannel.h"
#include "link/Link.h"
#include "tests/support/EventLoop.h"
#include "tests/support/PtyPeer.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTcpSocket>
#include <atomic>
#include <deque>
#include <memory>
#include <mutex>
#include <utility>

// How a scripted module treats checksums: takes the request's ("!C" ACK, else NAK), gives
// the reply's ("!4", else NAK), late: in front of its next answer instead of at once.
struct PagesChecksums {
    bool takesRequestCrc = true;
    bool givesReplyCrc = true;
    bool givesItLate = false;
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
        QByteArray windowSize, rest, lastSigned, late;
        std::deque<QByteArray> replies;

        std::optional<PtyPeer::Reply> answer(const QByteArray& frame) {
            using namespace PagesCodec;
            std::lock_guard lock(mutex);
            if (frame == WindowSizeRequest && !windowSize.isEmpty())
                return PtyPeer::Reply{windowSize};
            if (frame.startsWith("!C"))
                return PtyPeer::Reply{QByteArray(1, checksums.takesRequestCrc ? ACK : NAK)};
            if (frame == ReplyChecksumRequest) {
                const QByteArray sum = Protocol::crcText(Protocol::CRC16(lastSigned)) + ETX;
                if (checksums.givesItLate) {
                    late = sum;
                    return std::nullopt;
                }
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
            if (lastSigned.isEmpty())
                return std::nullopt;
            return PtyPeer::Reply{std::exchange(late, {}) + lastSigned};
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

// The pages engine with its local server on a line, a real HTTP client, and what the window
// would show: the status line (with its colour), wait boxes, refusals.
struct ServedPages {
    using Tone = PageEffects::Tone;
    explicit ServedPages(const QString& port, quint16 preferredPort = 88,
                         const QByteArray& selectFrame = {}) {
        QString error;
        if (!pages.OpenRawPort(port, selectFrame) || !pages.startServer(&error, preferredPort))
            qFatal("pages: %s %s", qPrintable(pages.errorString()), qPrintable(error));
        QObject::connect(&pages, &ModulePages::pageStatus, [this](const QString& t, Tone tone) {
            status << t + (tone == Tone::Red ? " (red)" : tone == Tone::Green ? " (green)" : "");
        });
        QObject::connect(&pages, &ModulePages::waitBoxOpened, [this](int s, const QString& t) {
            waits << QString::number(s) + " " + t;
        });
        QObject::connect(&pages, &ModulePages::waitBoxClosed, [this] { ++closed; });
        pages.setRefusalHandler([this](const QString& t) { refusals << t; });
    }
    QNetworkReply* get(const QString& path) {
        return net.get(QNetworkRequest(QUrl(pages.startAddress() + path.mid(1))));
    }
    // The body, once the response has come.
    static QByteArray body(QNetworkReply* r) {
        runUntil([r] { return r->isFinished(); }, 20000);
        return r->readAll();
    }
    ModulePages pages;
    QNetworkAccessManager net;
    QStringList status, waits, refusals;
    int closed = 0;
};

// One browser connection written by hand: the request as given, the response read up to its
// length, or until the server closes the connection (status 0 when unanswered).
struct Client {
    QByteArray request, raw, body;
    int status = 0;
    bool done = false;
    QTcpSocket socket; // last, so that it goes first: closing it reports to the handlers

    void start(quint16 port) {
        QObject::connect(&socket, &QTcpSocket::connected, [this] { socket.write(request); });
        QObject::connect(&socket, &QTcpSocket::readyRead, [this] { parse(socket.readAll()); });
        QObject::connect(&socket, &QTcpSocket::disconnected, [this] {
            parse(socket.readAll());
            done = true;
        });
        socket.connectToHost(QHostAddress::LocalHost, port);
    }
    void parse(const QByteArray& more) {
        raw += more;
        const qsizetype end = raw.indexOf("\r\n\r\n");
        if (end < 0 || done)
            return;
        const QList<QByteArray> head = raw.left(end).split('\n');
        status = head.value(0).split(' ').value(1).toInt();
        for (const QByteArray& line : head)
            if (line.toLower().startsWith("content-length:") &&
                raw.size() - end - 4 >= line.mid(15).trimmed().toLongLong())
                body = raw.mid(end + 4, line.mid(15).trimmed().toLongLong()), done = true;
    }
};
