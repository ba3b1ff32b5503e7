#pragma once

#include <QByteArray>
#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

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

    struct Connection; // one proxied connection, both directions

private:
    void run();
    void accept(std::vector<std::unique_ptr<Connection>>& conns);
    bool cutDue(const std::vector<std::unique_ptr<Connection>>& conns);

    quint16 m_target;
    int m_halfMs;
    int m_listen = -1;
    int m_wake[2] = {-1, -1};
    quint16 m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_cut{false};
    std::mutex m_mutex;
    QByteArray m_cutOn;
    std::thread m_thread;
};
