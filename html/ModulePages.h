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

// The engine of the pages window: the raw channel, the one worker thread that runs every
// exchange with the module, and the local HTTP server that hands the browser's requests to
// it. Lives on the GUI thread; what serving a page does to the window comes back here as
// signals, queued to this thread.
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
    // Sees every byte of the raw channel (on the worker thread); set it before opening.
    void setTap(RawChannel::Tap tap) { m_channel.setTap(std::move(tap)); }
    bool isOpen() const { return m_channel.isOpen(); }
    QString errorString() const { return m_channel.errorString(); }

    // "!G" on the worker; serves this thread's events until the reply (the text before
    // ETX) or nothing has come.
    QByteArray exchangeWindowSize();

    // Starts the local server: 127.0.0.1, port 88 or else a free port, which local links
    // are then rewritten to. False with the reason when it cannot listen at all.
    bool startServer(QString* error, quint16 preferredPort = 88);
    quint16 serverPort() const;
    // "http://127.0.0.1:" + the server's port + "/".
    QString startAddress() const;
    bool RequestBusy() const;

    // Shows a module's refusal text and returns when the user has read it. Without one the
    // text is only passed on in the response.
    void setRefusalHandler(std::function<void(const QString&)> handler);

    // Stops the server and the worker and closes the line; the object can open again.
    void close();

    // The worker's flags for this window (read them only while no request is in service).
    const ContentTransfer& transfer() const { return m_transfer; }

Q_SIGNALS:
    void pageStatus(const QString& text, PageEffects::Tone tone);
    void waitBoxOpened(int seconds, const QString& text);
    void waitBoxClosed();

private:
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
};
