#pragma once

#include "net/GatedHttpServer.h"

class HeadendMonitor;

// The monitor's HTTP service: /metrics (Prometheus text format), /healthz ("ok" while the
// monitor runs, whatever the line does: the line has its own metric) and / (the status page),
// by GET and HEAD; 405 for another method on them, 404 for any other path.
//
// Whatever clients do, it stays small and answers: each connection passes the request gate (a head
// over 16 KiB and any body are refused before they are buffered, a connection without a whole
// request for 3 s is closed), at most MaxConnections are open at once, fewer under a low file limit
// (a newcomer takes the place of the oldest that has said nothing, so a flood of idle or slow
// connections neither runs the process out of descriptors nor keeps Prometheus out), and a client
// that leaves more than MaxUnsentBytes of its answers unread is dropped.
class MonitorHttp : public GatedHttpServer {
    Q_OBJECT
public:
    static constexpr int MaxConnections = 64;
    static constexpr qint64 MaxUnsentBytes = 64 * 1024;

    MonitorHttp(const HeadendMonitor& monitor, int refreshSeconds, QObject* parent = nullptr);

    // False with the reason in *error when the address cannot be had.
    bool listen(const QHostAddress& address, quint16 port, QString* error);

protected:
    void serve(const QHttpServerRequest& request, std::unique_ptr<Exchange> exchange) override;

private:
    HttpResponse answer(const QHttpServerRequest& request) const;

    const HeadendMonitor& m_monitor;
    int m_refreshSeconds;
};
