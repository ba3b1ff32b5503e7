#pragma once

#include "sim/PtyEndpoint.h"
#include "sim/SimHeadend.h"
#include "sim/SimProfile.h"

#include <QString>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

struct SimServerOptions {
    int latencyMs = -1; // module turnaround; -1: the profile's
    int pace = -1;      // 1: send at the line rate, 0: at once, -1: the profile's
    QString linkPath;   // a pty only: a stable symbolic link to the slave
};

// A head-end on a line, running by itself: the endpoint's reader thread feeds the modules,
// a writer thread of the server puts their replies on the line after the turnaround latency.
// With pacing on, both directions keep the line rate: a frame reaches the modules when its
// last byte would have arrived, and a reply's last byte leaves no earlier than its length
// allows. It keeps serving while the thread that started
// it blocks, so the program's own serial code can talk to it from that thread.
//
//   QString error;
//   auto sim = SimServer::startPty(demoProfile(), &error);
//   if (!sim) ...error...;
//   port.setPortName(sim->slavePath());
//   sim->headend().setFaults(0, 3, faults);          // subrack and slot indices, 0-based
//   sim->headend().committedValue(0, 3, 2, 0);       // what reached the module's EEPROM
//   sim->headend().received();                       // every byte the program sent
//
// Destroying the server closes the line.
class SimServer : private SimLine {
public:
    static std::unique_ptr<SimServer> startPty(const SimProfile& profile, QString* error,
                                               const SimServerOptions& options = {});
    static std::unique_ptr<SimServer> startDevice(const SimProfile& profile, const QString& device,
                                                  QString* error,
                                                  const SimServerOptions& options = {});
    ~SimServer() override;

    // What a program opens: the pty's slave (or the link to it), or the device.
    QString slavePath() const { return m_endpoint.path(); }
    SimHeadend& headend() { return m_headend; }
    PtyEndpoint& endpoint() { return m_endpoint; }

    void setLatencyMs(int ms) { m_latencyMs = qMax(0, ms); }
    int latencyMs() const { return m_latencyMs; }

    // The line vanishes (as if the cable were pulled); replies still queued are lost.
    void closeLine();
    // A new line; with a link path the program finds it under the same name.
    bool reopenLine(QString* error);
    // Waits until every queued reply is on the line; false after timeoutMs.
    bool waitUntilSent(int timeoutMs);

private:
    using Clock = std::chrono::steady_clock;
    struct Item {
        QByteArray bytes;
        Clock::time_point queued;
        int delayMs = 0;
        bool drop = false;
    };

    SimServer(const SimProfile& profile, const SimServerOptions& options);
    void send(const QByteArray& bytes, int delayMs) override;
    void drop() override;
    void writeLoop();
    void awaitArrival(qsizetype bytes);

    SimHeadend m_headend;
    PtyEndpoint m_endpoint;
    std::atomic<int> m_latencyMs;
    std::atomic<bool> m_pace;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::deque<Item> m_queue;
    bool m_busy = false;
    bool m_stopping = false;
    std::thread m_writer;
    Clock::time_point m_rxLineFree{}; // the reader thread's only
};
