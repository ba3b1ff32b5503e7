#include "html/PageService.h"

#include "html/RawChannel.h"

using namespace PagesHttp;
using PagesCodec::ReplyKind;

namespace {
// Longer waits than this are taken as this: the wait box counts half-seconds in an int.
constexpr int kMaxWaitSeconds = 9999;
} // namespace

PageService::PageService(RawChannel& channel, ContentTransfer& transfer, PageEffects& effects,
                         std::atomic<bool>& abort)
    : m_channel(channel), m_transfer(transfer), m_effects(effects), m_abort(abort) {}

int PageService::waitSeconds(const QByteArray& command) {
    const QByteArray rest = command.mid(5); // "WAIT" and the separator
    qsizetype n = 0;
    while (n < rest.size() && rest.at(n) >= '0' && rest.at(n) <= '9')
        ++n;
    if (n == 0)
        return 1;
    bool ok = false;
    const qlonglong seconds = rest.left(std::min<qsizetype>(n, 9)).toLongLong(&ok);
    return n > 9 || seconds > kMaxWaitSeconds ? kMaxWaitSeconds : int(seconds);
}

QString PageService::waitText(const QByteArray& command) {
    const qsizetype lf = command.indexOf('\n');
    if (lf < 0)
        return PleaseWaitText;
    return QString::fromLatin1(command.mid(lf + 1, 255));
}

bool PageService::waitRunning() const {
    return m_waitShown && m_waitClock.isValid() && m_waitClock.elapsed() < m_waitMs;
}

void PageService::openWait(const QByteArray& command) {
    m_effects.ShowPageStatus(PleaseWaitText, PageEffects::Tone::Same);
    const int seconds = waitSeconds(command);
    // A new box replaces the one shown; its progress runs for the seconds asked.
    m_effects.openWaitBox(seconds, waitText(command));
    m_waitShown = true;
    m_boxOpen = true;
    m_waitMs = qint64(seconds) * 1000;
    m_waitClock.start();
}

PageService::Next PageService::onReply(ReplyKind kind, const QByteArray& data,
                                       PageResponse& response) {
    switch (kind) {
    case ReplyKind::ACK:
        m_effects.ShowPageStatus(UploadedText, PageEffects::Tone::Green);
        break;
    case ReplyKind::NAK:
        if (!data.isEmpty())
            m_effects.showRefusal(QString::fromLatin1(data));
        break;
    case ReplyKind::CMD:
        if (data.startsWith("RESEND"))
            return Next::Resend;
        if (data.startsWith("WAIT")) {
            openWait(data);
            return Next::Receive;
        }
        break;
    default:
        break;
    }
    response = {200, contentTypeOf(kind), data};
    return Next::Answer;
}

PageResponse PageService::serve(const PageRequest& request) {
    PageResponse response;
    bool answered = false; // a response of the module's or a page of ours is set
    m_boxOpen = false;
    m_channel.purge();
    const bool startPage = request.path == "/" || request.path == "/index";
    const QByteArray text = PagesCodec::documentText(request.path, request.params);
    for (int attemptsLeft = 2; attemptsLeft >= 0 && !m_abort.load(); --attemptsLeft) {
        m_waitShown = false;
        if (startPage)
            m_transfer.sendStartRequest();
        else
            m_transfer.sendDocumentRequest(text);
        Next next = Next::Receive;
        while (next == Next::Receive && !m_abort.load()) {
            ReplyKind kind = ReplyKind::NONE;
            QByteArray data;
            if (m_transfer.FetchReply(kind, data)) {
                next = onReply(kind, data, response);
                continue;
            }
            if (waitRunning())
                continue; // the module asked for the time: its reply is still to come
            next = Next::Resend;
            if (kind == ReplyKind::NAK) {
                response = refusalPage();
            } else if (attemptsLeft == 0) {
                response = noResponsePage(request.path, request.params);
            } else {
                continue;
            }
            answered = true;
            m_effects.ShowPageStatus(NoResponseText, PageEffects::Tone::Red);
        }
        if (next == Next::Answer) {
            answered = true;
            if (startPage)
                m_effects.ShowPageStatus(QString(), PageEffects::Tone::Same);
            break;
        }
    }
    if (!answered)
        response = invalidDataPage();
    if (m_boxOpen)
        m_effects.closeWaitBox();
    return response;
}
