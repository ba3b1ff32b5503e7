#pragma once

#include <QByteArray>
#include <QThread>

// A TCP proxy on 127.0.0.1 that adds a round trip: every byte is held back half of it in each
// direction. It runs on a thread of its own, so it keeps forwarding while the program's
// thread blocks in its own network code. For tests and benchmarks of remote lines.
//
//   DelayProxy proxy(ser2netPort, 40);          // 40 ms more round trip
//   port.setPortName(QString("rfc2217://127.0.0.1:%1").arg(proxy.port()));
//   proxy.cut();                                // every connection dropped at once
class DelayProxy {
public:
    DelayProxy(quint16 target, int roundTripMs);
    ~DelayProxy();
    DelayProxy(const DelayProxy&) = delete;
    DelayProxy& operator=(const DelayProxy&) = delete;

    quint16 port() const { return m_port; }
    // Drops every open connection (both ends see it closed); new ones are taken as before.
    void cut();
    // Drops them as soon as the program sends these bytes (which do not go on), once.
    void cutOn(const QByteArray& bytes);

private:
    class Relay;
    QThread m_thread;
    Relay* m_relay = nullptr;
    quint16 m_port = 0;
};
