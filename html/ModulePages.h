#pragma once

#include "html/PageService.h"
#include "html/PagesHttp.h"
#include "html/RawChannel.h"

#include <QObject>
#include <QSemaphore>
#include <QThread>
#include <atomic>
#include <functional>
#include <memory>

class PagesServer;
class QTcpSocket;
class RemotePages;

// The engine of the pages window: the raw channel, the one worker thread that runs every
// exchange with the module, and the local HTTP server that hands the browser's requests to
// it. Lives on the GUI thread; what serving a page does to the window comes back here as
// signals, queued to this thread. Behind a site agent (agent: and ssh:// port names) the
// agent serves the pages beside the line and this object only passes on what it says (see
// RemotePages).
//
//   ModulePages pages;
//   if (!pages.OpenRawPort("COM3")) ...;                 // "COM Port opening error"
//   QByteArray size = pages.exchangeWindowSize();          // serves events meanwhile
//   pages.startServer(&error);
//   browser->load(pages.startAddress());
//   ...
//   pages.close();                                         // also done by the destructor
class ModulePages : public QObject {
    Q_OBJECT
public:
    explicit ModulePages(QObject* parent = nullptr);
    ~ModulePages() override;

    // The select frame addresses the module again whenever the line had to be opened anew.
    bool OpenRawPort(const QString& portName, const QByteArray& selectFrame = {});
    // The same on a line of the caller's.
    bool open(std::unique_ptr<Transport> line, const QByteArray& selectFrame);
    // Sees every byte of the raw channel (on the worker thread; behind an agent, on this
    // thread); set it before opening.
    void setTap(RawChannel::Tap tap);
    bool isOpen() const;
    QString errorString() const;

    // "!G" on the worker; serves this thread's events until the reply (the text before
    // ETX) or nothing has come.
    QByteArray exchangeWindowSize();
    // The same without waiting: then gets the reply on this thread.
    void exchangeWindowSize(std::function<void(const QByteArray& reply)> then);

    // Starts the local server: 127.0.0.1, port 88 or else a free port, which local links
    // are then rewritten to. False with the reason when it cannot listen at all.
    bool startServer(QString* error, quint16 preferredPort = 88);
    // The port the browser reaches the server at when a forwarding stands between (the
    // module's local links name it); 0: the server's own. Set before startServer().
    void setBrowserPort(quint16 port) { m_browserPort = port; }
    // Who may connect to the server (everyone by default); set before startServer().
    void setAdmit(std::function<bool(const QTcpSocket&)> admit) { m_admit = std::move(admit); }
    quint16 serverPort() const;
    // "http://127.0.0.1:" + the server's port + "/".
    QString startAddress() const;
    // A request is on the line (always false behind an agent: the line is there).
    bool RequestBusy() const;

    // Shows a module's refusal text and returns when the user has read it. Without one the
    // text is only passed on in the response. With readLater the response waits on until
    // refusalRead() (the reader is elsewhere).
    void setRefusalHandler(std::function<void(const QString&)> handler, bool readLater = false);
    void refusalRead() { m_refusalRead.release(); }

    // Stops the server and the worker and closes the line; the object can open again.
    void close();

    // The worker's flags for this window (read them only while no request is in service).
    const ContentTransfer& transfer() const { return m_transfer; }

Q_SIGNALS:
    void pageStatus(const QString& text, PageEffects::Tone tone);
    void waitBoxOpened(int seconds, const QString& text);
    void waitBoxClosed();

private:
    friend class RemotePages;
    class Effects;
    void startWorker();
    void stopWorker();
    void onRefusal(const QString& text);

    RawChannel m_channel;
    std::atomic<bool> m_abort{false};
    ContentTransfer m_transfer;
    std::unique_ptr<Effects> m_effects;
    std::unique_ptr<PageService> m_service;
    QThread m_thread;
    QObject* m_workerContext = nullptr; // lives on m_thread
    PagesServer* m_server = nullptr;
    QSemaphore m_refusalRead;
    std::function<void(const QString&)> m_refusalHandler;
    bool m_refusalReadLater = false;
    RawChannel::Tap m_tap;
    std::function<bool(const QTcpSocket&)> m_admit;
    quint16 m_browserPort = 0;
    std::unique_ptr<RemotePages> m_remote;
};
