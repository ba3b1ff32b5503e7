#pragma once

#include "net/HttpResponse.h"
#include "net/RequestGate.h"

#include <QAbstractHttpServer>
#include <QHostAddress>
#include <QHttpServerResponder>
#include <QPointer>
#include <initializer_list>
#include <memory>

// An HTTP server whose every connection passes its RequestGate, and what all of ours do alike:
// the head of each answer, the answer to HEAD (the head GET would have, without the body),
// and "close" among the tokens of a request's Connection header (read in any case, as in
// "keep-alive, Close"): the connection ends once that request is answered, and the requests
// sent behind it are not served.
class GatedHttpServer : public QAbstractHttpServer {
    Q_OBJECT
public:
    quint16 port() const { return m_port; }

    // The value of a request's header of that name (the first one, the name read in any
    // case); empty when it has none.
    static QByteArray header(const QHttpServerRequest& request, const QByteArray& name);

protected:
    // One request taken in, until it is answered.
    struct Exchange {
        QByteArray target; // as the client sent it (a URL parser loses a path "//x")
        QPointer<QTcpSocket> socket;
        std::unique_ptr<QHttpServerResponder> responder;
        bool head = false;  // HEAD: the answer goes without its body
        bool close = false; // the client asked to close the connection after the answer
    };

    // With announceClose, the answer to a request that asked to close says
    // "Connection: close".
    explicit GatedHttpServer(bool announceClose, QObject* parent = nullptr);

    // Listens on the first of the ports that can be had and serves what comes there. False
    // with the reason in *error when none can.
    bool listen(std::unique_ptr<GatedListener> listener, const QHostAddress& address,
                std::initializer_list<quint16> ports, QString* error);
    QTcpServer* listener() const { return m_listener; }

    // A request of a connection that is still served: answered with reply(), now or later.
    virtual void serve(const QHttpServerRequest& request, std::unique_ptr<Exchange> exchange) = 0;
    // Writes the answer, unless the client has gone away meanwhile.
    void reply(Exchange& exchange, const HttpResponse& response) const;

private:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) final;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) final;

    bool m_announceClose;
    QTcpServer* m_listener = nullptr; // owned by the base class once bound
    quint16 m_port = 0;
};
