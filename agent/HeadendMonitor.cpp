#include "agent/HeadendMonitor.h"

#include "agent/Log.h"
#include "link/HeadendScan.h"
#include "module/ModuleAddress.h"

#include <QDateTime>
#include <utility>

namespace {
constexpr int kFirstRetryMs = 1000;
constexpr int kLastRetryMs = 60000;
// A module known to be there answers its select frame as fast as at the scan's presence check.
constexpr int kFailedPollsGone = 2;
// After a bridge client: longer than any module takes to start a reply. However long the line
// takes to fall quiet (a client that sent thousands of requests unread has their replies come
// for minutes), the log says every minute that polling waits for it.
constexpr int kSettleQuietMs = 500;
constexpr int kSettleReportMs = 60000;
constexpr int kSettleStepMs = 50;

} // namespace

void HeadendMonitor::View::slotEmpty(int g, int s) {
    if (!missing.contains({g, s}))
        missing << ModuleAddress{g, s};
}

void HeadendMonitor::View::slotFound(int g, int s, const TModule&) {
    missing.removeOne({g, s});
    m_monitor.takeAnswer(g, s);
    m_monitor.noteAnswer(g, s, true);
}

HeadendMonitor::HeadendMonitor(const Settings& settings, QObject* parent)
    : QObject(parent), m_settings(settings), m_session(m_host) {
    m_status.port = settings.port;
    m_link.ScanTimeout = settings.scanTimeout > 0 ? settings.scanTimeout : Link::DefaultScanTimeout;
    m_link.ReplyTimeout = m_link.ScanTimeout;
    m_sincePoll.start();
    m_stepTimer.setSingleShot(true);
    connect(&m_stepTimer, &QTimer::timeout, this, &HeadendMonitor::step);
    connect(&m_link, &Link::portLost, this, &HeadendMonitor::onPortLost);
}

HeadendMonitor::~HeadendMonitor() {
    m_link.closePort();
}

void HeadendMonitor::start() {
    schedule(0);
}

void HeadendMonitor::schedule(qint64 ms) {
    m_stepTimer.start(int(qBound(qint64(0), ms, qint64(kLastRetryMs) * 60)));
}

bool HeadendMonitor::openLine() {
    const bool opened = m_link.OpenLink(m_settings.port);
    m_status.port = m_link.ComPort().portName(); // the settings file's or COM1 without --port
    if (!opened) {
        lineDown(m_link.ComPort().errorString());
        return false;
    }
    if (!m_status.lineUp) {
        monitorLog(QStringLiteral("line open on %1").arg(m_status.port));
        Q_EMIT event({{QStringLiteral("kind"), QStringLiteral("line")},
                      {QStringLiteral("up"), true},
                      {QStringLiteral("port"), m_status.port}});
    }
    m_status.lineUp = true;
    m_settling.invalidate(); // opening the line ends a console and discards what came
    m_retryMs = 0;
    m_downReason.clear();
    m_needScan = true;
    return true;
}

void HeadendMonitor::lineDown(const QString& reason) {
    m_link.closePort();
    m_retryMs = m_retryMs == 0 ? kFirstRetryMs : qMin(2 * m_retryMs, kLastRetryMs);
    if (m_status.lineUp || reason != m_downReason) {
        monitorLog(QStringLiteral("line down (%1); retrying after %2 s, doubling up to %3 s")
                       .arg(reason)
                       .arg(m_retryMs / 1000)
                       .arg(kLastRetryMs / 1000));
        Q_EMIT event({{QStringLiteral("kind"), QStringLiteral("line")},
                      {QStringLiteral("up"), false},
                      {QStringLiteral("reason"), reason}});
    }
    m_status.lineUp = false;
    m_downReason = reason;
    m_needScan = true;
}

void HeadendMonitor::step() {
    if (m_lent || m_inStep)
        return;
    m_inStep = true;
    bool settling = false;
    try {
        if (m_link.ComPort().isOpen() || openLine()) {
            const qint64 rescanMs = qint64(m_settings.rescan * 60000);
            if (m_settling.isValid() && !settled())
                settling = true;
            else if (!m_operations.isEmpty())
                runOperations();
            else if (m_needScan || m_sinceScan.hasExpired(rescanMs))
                scan();
            else
                pollCycle();
        }
    } catch (const PortError& e) {
        lineDown(e.text());
    }
    // The line may have gone between two exchanges.
    if (m_status.lineUp && !m_link.ComPort().isOpen())
        lineDown(m_downReason);
    m_inStep = false;
    if (m_lendWanted)
        grant();
    else if (!m_status.lineUp)
        refuseOperations(), schedule(m_retryMs);
    else if (!m_operations.isEmpty())
        schedule(0);
    else if (settling)
        schedule(kSettleStepMs);
    else
        schedule(qint64(m_settings.interval * 1000) - m_sincePoll.elapsed());
}

bool HeadendMonitor::settled() {
    SerialPort& port = m_link.ComPort();
    if (port.bytesWaiting() > 0) {
        port.purge(true, false);
        m_quiet.start();
    }
    // What the client sent may still be leaving at the line's rate: replies can follow it.
    if (m_settling.elapsed() < m_drainMs)
        m_quiet.start();
    const double seconds = double(m_settling.elapsed()) / 1000.0;
    if (!m_quiet.hasExpired(kSettleQuietMs)) {
        if (m_settling.hasExpired(m_nextSettleReportMs)) {
            m_nextSettleReportMs += kSettleReportMs;
            monitorLog(QStringLiteral("the line is still busy %1 s after the bridge client left; "
                                      "polling waits until it is quiet")
                           .arg(qRound(seconds)));
        }
        return false;
    }
    m_settling.invalidate();
    monitorLog(QStringLiteral("line quiet %1 s after the bridge client left; rescanning")
                   .arg(seconds, 0, 'f', 1));
    return true;
}

bool HeadendMonitor::probe(int g, int s) {
    if (!m_session.probe({g, s}, m_view))
        return false;
    takeAnswer(g, s);
    return true;
}

void HeadendMonitor::takeAnswer(int g, int s) {
    TModule& m = *m_modules.at(s, g);
    SlotStatus& status = m_status.at(g, s);
    const QStringList unread = std::exchange(m_view.unread, {});
    if (!unread.isEmpty()) {
        ++status.pollErrors;
        status.takeUnread(m, unread);
        monitorLog(
            QStringLiteral("module %1 answers, but not read: %2")
                .arg(ModuleAddress{g, s}.name(), status.readFaults.join(QStringLiteral("; "))));
        return;
    }
    // The texts of the diagnostic bits, once per scan as the diagnostic report reads them.
    if (m.DiagCount > 0)
        Link::tolerant(m, [&] { m_link.ReadExtDiag(s, g); });
    status.takeFrom(m);
    m_trends.take({g, s}, m, MeasuredTrends::now());
}

bool HeadendMonitor::poll(int g, int s) {
    const TModule* m = m_modules.at(s, g);
    SlotStatus& status = m_status.at(g, s);
    // A module not known since the last scan (it did not answer there, or not all its replies
    // came) is probed afresh.
    if (!m || m->TypeName == NotInstalledText || status.unread)
        return probe(g, s);
    m_link.ReplyTimeout = Protocol::PresenceTimeout;
    if (!m_link.SelectModule(g, s))
        return false;
    try {
        if (!m_link.ReadDiagBytes(s, g) || (status.polled && !m_link.ReadValues(s, g)))
            return false;
    } catch (const ParseError&) {
        return false;
    }
    status.takeFrom(*m);
    if (status.polled)
        m_trends.take({g, s}, *m, MeasuredTrends::now());
    return true;
}

void HeadendMonitor::noteAnswer(int g, int s, bool answered) {
    note(g, s, answered);
    // What a client sees of the module: there or not, healthy or faulty.
    const SlotStatus& m = m_status.at(g, s);
    const std::pair<bool, bool> health{m.present, m.fault};
    if (std::exchange(m_told[size_t(g * HeadendStatus::Slots + s)], health) != health)
        Q_EMIT event({{QStringLiteral("kind"), QStringLiteral("module")},
                      {QStringLiteral("module"), ModuleAddress{g, s}.name()},
                      {QStringLiteral("type"), m.type},
                      {QStringLiteral("present"), m.present},
                      {QStringLiteral("fault"), m.fault}});
}

void HeadendMonitor::note(int g, int s, bool answered) {
    SlotStatus& m = m_status.at(g, s);
    if (answered) {
        if (m.seen && !m.present)
            monitorLog(QStringLiteral("module %1 (%2) answers again")
                           .arg(ModuleAddress{g, s}.name(), m.type));
        m.seen = true;
        m.present = true;
        m.failedPolls = 0;
        return;
    }
    if (!m.present)
        return;
    ++m.pollErrors;
    if (++m.failedPolls < kFailedPollsGone)
        return;
    m.present = false;
    monitorLog(
        QStringLiteral("module %1 (%2) does not answer").arg(ModuleAddress{g, s}.name(), m.type));
}

void HeadendMonitor::scan() {
    QElapsedTimer clock;
    clock.start();
    m_sincePoll.start();
    m_view.missing.clear();
    m_view.unread.clear(); // a line lost in the middle of a module leaves its replies named
    const int found = m_session.scan(m_view, ScanWords{}, {}, ScanEnd::KeepPortOpen);
    // Gone only now: a module silent at its turn may have answered once it had restarted.
    for (const ModuleAddress& a : std::as_const(m_view.missing))
        noteAnswer(a.subrack, a.slot, false);
    if (stopWanted())
        return;
    m_needScan = false;
    m_sinceScan.start();
    m_status.scanDuration = double(clock.elapsed()) / 1000.0;
    m_status.lastPoll = double(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
    ++m_status.pollCycles;
    monitorLog(
        QStringLiteral("scan: %1 in %2 s").arg(ScanResultText(found)).arg(m_status.scanDuration));
}

void HeadendMonitor::pollCycle() {
    m_sincePoll.start();
    for (int g = 0; g < HeadendStatus::Subracks; ++g)
        for (int s = 0; s < HeadendStatus::Slots; ++s) {
            if (stopWanted())
                return;
            if (m_status.at(g, s).seen)
                noteAnswer(g, s, poll(g, s));
        }
    m_status.lastPoll = double(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
    ++m_status.pollCycles;
}

void HeadendMonitor::enqueue(Operation operation) {
    m_operations << std::move(operation);
    if (!m_inStep && !m_lent) {
        m_stepTimer.stop();
        schedule(0);
    }
}

// The operations asked for so far, and those asked for while they run, one after the other.
// Each finds the line with the time-outs a command-line run starts with.
void HeadendMonitor::runOperations() {
    while (!m_operations.isEmpty()) {
        Operation op = m_operations.takeFirst();
        m_link.ReplyTimeout = m_link.ScanTimeout;
        try {
            op.run(m_session);
        } catch (...) {
            m_host.guest = nullptr;
            throw;
        }
        m_host.guest = nullptr;
        if (!m_link.ComPort().isOpen())
            return;
    }
}

void HeadendMonitor::refuseOperations() {
    for (const Operation& op : std::exchange(m_operations, {}))
        op.refused(m_downReason);
}

void HeadendMonitor::requestLine() {
    if (m_lent)
        return;
    m_lendWanted = true;
    if (!m_inStep) {
        m_stepTimer.stop();
        grant();
    }
}

void HeadendMonitor::grant() {
    m_lendWanted = false;
    SerialPort& port = m_link.ComPort();
    if (!port.isOpen() && !openLine()) {
        Q_EMIT lineRefused(m_downReason);
        schedule(m_retryMs);
        return;
    }
    // Late answers to our own frames are not the borrower's.
    port.purge(true, false);
    port.setEventMask(SerialPort::EventMask::RxChar);
    m_lent = true;
    m_settling.invalidate();
    m_status.bridged = true;
    m_status.bridgeHeld.start();
    m_stepTimer.stop();
    monitorLog(QStringLiteral("line lent to a bridge client; polling paused"));
    Q_EMIT lineLent(&port);
}

void HeadendMonitor::returnLine(qint64 drainMs) {
    m_lendWanted = false;
    if (!m_lent)
        return;
    m_lent = false;
    m_status.bridged = false;
    SerialPort& port = m_link.ComPort();
    port.setEventMask(SerialPort::EventMask::RxFlag);
    if (port.isOpen())
        m_link.sendConsoleEnd(QStringLiteral("the bridge client left"));
    m_settling.start();
    m_quiet.start();
    m_drainMs = drainMs;
    m_nextSettleReportMs = kSettleReportMs;
    m_needScan = true;
    monitorLog(QStringLiteral("line back from the bridge client; ending a console it may have "
                              "left open, rescanning once the line is quiet"));
    schedule(0);
}

void HeadendMonitor::onPortLost(const QString& reason) {
    m_downReason = reason;
    if (m_inStep)
        return; // the exchange under way ends with PortError, or the step notices
    if (m_lent) {
        m_lent = false;
        m_status.bridged = false;
        Q_EMIT lineWithdrawn(reason);
    }
    lineDown(reason);
    schedule(m_retryMs);
}
