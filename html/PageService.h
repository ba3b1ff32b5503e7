#pragma once

#include "html/ContentTransfer.h"
#include "html/PagesHttp.h"

#include <QElapsedTimer>
#include <QString>
#include <atomic>

class RawChannel;

// What serving a page does to the window: its status line, the wait box, the module's
// refusal text. Called on the worker thread; the implementation carries it to the window.
class PageEffects {
public:
    enum class Tone { Same, Green, Red }; // the status line keeps its colour, or gets this one

    virtual ~PageEffects() = default;
    virtual void ShowPageStatus(const QString& text, Tone tone) = 0;
    virtual void openWaitBox(int seconds, const QString& text) = 0;
    virtual void closeWaitBox() = 0;
    // Returns when the user has read the text (or the window is going away).
    virtual void showRefusal(const QString& text) = 0;
};

// One browser request served by the module: the request sent up to three times, the reply
// received, "RESEND" and "WAIT" obeyed, and the response made of the reply or of a page of
// our own. Runs on the pages worker thread, one request at a time.
class PageService {
public:
    PageService(RawChannel& channel, ContentTransfer& transfer, PageEffects& effects,
                std::atomic<bool>& abort);

    PagesHttp::PageResponse serve(const PagesHttp::PageRequest& request);

    // A "WAIT" command's seconds (a missing number counts 1) and its text.
    static int waitSeconds(const QByteArray& command);
    static QString waitText(const QByteArray& command);

private:
    enum class Next { Answer, Resend, Receive };
    Next onReply(PagesCodec::ReplyKind kind, const QByteArray& data,
                 PagesHttp::PageResponse& response);
    void openWait(const QByteArray& command);
    bool waitRunning() const;

    RawChannel& m_channel;
    ContentTransfer& m_transfer;
    PageEffects& m_effects;
    std::atomic<bool>& m_abort;
    bool m_waitShown = false; // during this attempt
    bool m_boxOpen = false;   // during this request
    QElapsedTimer m_waitClock;
    qint64 m_waitMs = 0;
};
