#pragma once

#include <QAbstractHttpServer>
#include <QHostAddress>

class HeadendMonitor;
class QTcpServer;

// The monitor's HTTP service: /metrics (Prometheus text format), /healthz ("ok" while the
// monitor runs, whatever the line does: the line has its own metric) and / (the status page).
// GET only.
class MonitorHttp : public QAbstractHttpServer {
    Q_OBJECT
public:
    MonitorHttp(const HeadendMonitor& monitor, int refreshSeconds, QObject* parent = nullptr);

    // False with the reason in *error when the address cannot be had.
    bool listen(const QHostAddress& address, quint16 port, QString* error);
    quint16 port() const;

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
    const HeadendMonitor& m_monitor;
    int m_refreshSeconds;
    QTcpServer* m_listener = nullptr; // owned by the base class once bound
};
