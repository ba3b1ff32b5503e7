#pragma once

#include <QByteArray>
#include <QObject>
#include <QTcpServer>
#include <QTimer>
#include <deque>
#include <functional>

class QTcpSocket;

// The bytes of one connection as the gate reads them, without the socket: it finds the end of
// each request's head, keeps the head's target, skips the declared body and says when the
// connection must be refused. What it holds is bounded whatever the bytes are: one head of at
// most MaxHeadBytes and at most MaxPendingRequests targets.
class RequestScanner {
public:
    static constexpr int MaxHeadBytes = 16 * 1024;
    // Requests sent ahead without waiting for the answers that the server has not taken yet.
    static constexpr int MaxPendingRequests = 32;

    explicit RequestScanner(qint64 maxBody) : m_maxBody(maxBody) {}
    // Reads the next bytes of the stream: 0 while it may go on, else the status to refuse
    // the connection with (431, 413, 411, 429 or 400); after that nothing more is read.
    int feed(const QByteArray& bytes);
    // The target of the oldest request not yet taken, as sent; empty when none is known.
    QByteArray takeTarget();
    qsizetype pendingTargets() const { return qsizetype(m_targets.size()); }
    qsizetype headBytes() const { return m_head.size(); }
    int refused() const { return m_refused; }

private:
    int headDone();

    qint64 m_maxBody;
    QByteArray m_head;
    qint64 m_bodyLeft = 0;
    std::deque<QByteArray> m_targets;
    int m_refused = 0;
};

// The first look at the bytes of one client connection, before the HTTP server parses them:
// - it keeps each request's target as the client sent it (the server takes "//x" for a host
//   name and loses the path);
// - it refuses at once what must not be buffered: a head (request line and headers) longer
//   than MaxHeadBytes (431), a declared body longer than the connection may send (413), a
//   body of unknown length (411), more requests sent ahead than the server has taken (429);
//   the answer goes out as soon as the headers are in, and the server never sees the request;
// - it closes the connection when, with no request of it in service, no whole request has
//   come within IdleMs.
// It lives as a child of its socket, watching the same bytes the server reads, just before.
class RequestGate : public QObject {
    Q_OBJECT
public:
    static constexpr int MaxHeadBytes = RequestScanner::MaxHeadBytes;
    static constexpr int IdleMs = 3000;
    // What the socket takes in from the network at a time: a client that sends in bulk is
    // refused within its first piece, never buffered whole.
    static constexpr int ReadBufferBytes = 2 * MaxHeadBytes;

    RequestGate(QTcpSocket* socket, qint64 maxBody);
    // The gate of a socket made by GatedListener, or nullptr.
    static RequestGate* of(const QTcpSocket* socket);

    // The target of the oldest request not yet taken, as sent (empty when none is known); the
    // request is in service from now on. Called for every request while the server handles
    // it (the server has read up to its end then).
    QByteArray takeTarget();
    // A request of this connection has been answered.
    void answered();
    // A request asked to close the connection after its answer: the requests behind it are
    // not served.
    void closeAfterAnswer() { m_closing = true; }
    bool closing() const { return m_closing; }

private:
    void onBytes();
    void refuse(int status);
    void idleCheck();

    QTcpSocket* m_socket;
    RequestScanner m_scanner;
    int m_inService = 0;
    qint64 m_seenUnread = 0; // what the server left unread when it took the last request
    bool m_taken = false;    // a request was taken since the last look
    bool m_closing = false;
    QTimer m_idle;
};

// A listener whose every connection has its RequestGate; with admit, a connection it does not
// admit is closed at once.
class GatedListener : public QTcpServer {
    Q_OBJECT
public:
    using Admit = std::function<bool(const QTcpSocket&)>;
    explicit GatedListener(qint64 maxBody, Admit admit = {}, QObject* parent = nullptr)
        : QTcpServer(parent), m_maxBody(maxBody), m_admit(std::move(admit)) {}

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    qint64 m_maxBody;
    Admit m_admit;
};
