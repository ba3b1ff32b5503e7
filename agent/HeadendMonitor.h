#pragma once

#include "agent/HeadendStatus.h"
#include "agent/MeasuredTrend.h"
#include "link/LinkHost.h"
#include "session/HeadendSession.h"

#include <QElapsedTimer>
#include <QJsonObject>
#include <QObject>
#include <QTimer>
#include <functional>

// Watches one head-end (its own polling never writes to a module) and runs its clients'
// operations (enqueue) between two of its steps: opens the line by its port name,
// scans both subracks (waiting for a module of the last scan that may be restarting), polls
// each present module's diagnostic bytes (and the values of a module with read-only numbers)
// every interval and rescans every rescan period. A module that misses two polls in a row is
// no longer present; a lost line is retried with a growing pause (1 s doubling up to a
// minute) for as long as the program runs.
//
// It also lends the line: requestLine() asks for it; the monitor stops at the next module
// (or at once when idle), clears what is waiting on the line and emits lineLent with the
// port, whose bytes then belong to the borrower (event mask RxChar). returnLine() takes it
// back and rescans, since the borrower may have changed anything: first it ends a console
// the borrower may have left open and lets the line settle (what still comes is discarded
// until the line has been quiet for a moment, however long that takes), so that no late reply
// is taken for a module. A module that answers but whose replies do not all come is shown as
// faulty, with what could not be read and without values, and probed afresh at the next poll.
class HeadendMonitor : public QObject {
    Q_OBJECT
public:
    struct Settings {
        QString port;         // any port name the program accepts
        double interval = 30; // seconds between poll cycles
        double rescan = 15;   // minutes between scans
        int scanTimeout = 0;  // ms; 0: the program's default
    };

    explicit HeadendMonitor(const Settings& settings, QObject* parent = nullptr);
    ~HeadendMonitor() override;

    // Starts watching (the first step runs from the event loop).
    void start();
    const HeadendStatus& status() const { return m_status; }
    // The measured numbers of the last 30 minutes: the polls' and the clients' reads.
    MeasuredTrends& trends() { return m_trends; }
    // The line's port, for its tap: it stays the same object while the line comes and goes.
    SerialPort& port() { return m_link.ComPort(); }

    // What a client of the agent asks for: it runs with the line once the monitor is between
    // two modules (at once when idle), after the operations asked for before it; a failed
    // open of the line refuses it. What it changes, the next poll reads: no frame of the
    // monitor's own follows it at once.
    struct Operation {
        std::function<void(HeadendSession&)> run;
        std::function<void(const QString& reason)> refused;
    };
    void enqueue(Operation operation);
    // While an operation runs: what the session says goes to host (until the operation ends).
    void lendHost(LinkHost* host) { m_host.guest = host; }
    // A change a client made, counted by the command's name.
    void noteChange(const QString& command) { ++m_status.changes[command]; }

    void requestLine();
    // Takes the line back, or withdraws a request not yet granted. drainMs: how long what the
    // borrower wrote last still takes to leave at the line's rate.
    void returnLine(qint64 drainMs = 0);

    // The steps, for the bench: open the line, one scan of both subracks, one poll cycle.
    // They throw PortError when the line goes away.
    bool openLine();
    void scan();
    void pollCycle();

Q_SIGNALS:
    void lineLent(SerialPort* port);
    void lineRefused(const QString& reason);   // the line cannot be opened for the borrower
    void lineWithdrawn(const QString& reason); // the line went away while lent
    // For the agent's clients: the line lost or back, a module gone, back, turned faulty or
    // healthy again ({"kind": "line"|"module", ...}).
    void event(const QJsonObject& what);

private:
    // Stops a scan at the next module when the line is asked for. Status texts are kept, the
    // scan's closing message is not logged: it repeats what the log says module by module, in
    // the words of a message box.
    // While an operation runs, everything goes to its host instead.
    class Host : public QuietHost {
    public:
        explicit Host(const HeadendMonitor& monitor) : m_monitor(monitor) {}
        bool stopRequested() const override {
            return guest ? guest->stopRequested() : m_monitor.stopWanted();
        }
        void SetStatus(const QString& text) override {
            guest ? guest->SetStatus(text) : QuietHost::SetStatus(text);
        }
        QString statusText() const override {
            return guest ? guest->statusText() : QuietHost::statusText();
        }
        void EnableControls(bool flag) override { guest ? guest->EnableControls(flag) : void(); }
        void showMessage(const QString& text, bool error) override {
            guest ? guest->showMessage(text, error) : void();
        }
        void rearmCommitTimer() override { guest ? guest->rearmCommitTimer() : void(); }
        void pause(int ms) override { guest ? guest->pause(ms) : QuietHost::pause(ms); }
        void progress(int value, int max) override { guest ? guest->progress(value, max) : void(); }
        LinkHost* guest = nullptr;

    private:
        const HeadendMonitor& m_monitor;
    };
    // What a scan or a probe finds goes into the status as it comes.
    class View : public QuietScanView {
    public:
        explicit View(HeadendMonitor& monitor) : m_monitor(monitor) {}
        void slotEmpty(int subrack, int slot) override;
        void slotFound(int subrack, int slot, const TModule&) override;
        void replyMissing(const QString& text) override { unread << text; }

        ModuleAddresses missing; // silent at their last visit; each scan starts it afresh
        QStringList unread;      // the replies of the module being visited that did not come

    private:
        HeadendMonitor& m_monitor;
    };

    void step();
    void schedule(qint64 ms);
    void lineDown(const QString& reason);
    void grant();
    void onPortLost(const QString& reason);
    // One module: true when it answered (its status is updated then).
    bool probe(int subrack, int slot);
    // The status of a module that answered the scan or a probe.
    void takeAnswer(int subrack, int slot);
    bool poll(int subrack, int slot);
    void noteAnswer(int subrack, int slot, bool answered);
    void note(int subrack, int slot, bool answered);
    bool stopWanted() const { return m_lendWanted || !m_operations.isEmpty(); }
    void runOperations();
    void refuseOperations();
    // Discards what the line says after the borrower; true once it has been quiet long enough.
    bool settled();

    Settings m_settings;
    Host m_host{*this};
    HeadendSession m_session;
    View m_view{*this};
    // The session's parts, as the monitor's code names them.
    ModuleTable& m_modules = m_session.modules();
    Link& m_link = m_session.link();
    HeadendStatus m_status;
    MeasuredTrends m_trends;
    QTimer m_stepTimer;
    QElapsedTimer m_sinceScan;
    QElapsedTimer m_sincePoll;
    QElapsedTimer m_settling; // valid from the borrower's return until the line has settled
    QElapsedTimer m_quiet;    // since the last byte while settling
    qint64 m_drainMs = 0;     // from the borrower's return until its bytes have left
    qint64 m_nextSettleReportMs = 0;
    bool m_needScan = true;
    bool m_inStep = false;
    bool m_lendWanted = false;
    bool m_lent = false;
    int m_retryMs = 0;
    QString m_downReason;
    QList<Operation> m_operations;
    std::array<std::pair<bool, bool>, HeadendStatus::Subracks * HeadendStatus::Slots> m_told{};
};
