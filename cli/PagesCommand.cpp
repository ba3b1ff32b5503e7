// pages G/S: the module's HTML pages served on 127.0.0.1 for any browser (through an SSH
// tunnel, say), until a signal ends it. The address goes to stdout, the page status texts
// to stderr.
#include "cli/CliSession.h"

#include "cli/KeyInput.h"
#include "html/ModulePages.h"
#include "html/PagesServer.h"

#include <QEventLoop>

namespace {
// The server on --listen PORT, else on 88 or a free port.
void startServer(ModulePages& pages, int listen) {
    QString error;
    const quint16 wanted = listen > 0 ? quint16(listen) : PagesServer::PreferredPort;
    if (!pages.startServer(&error, wanted))
        throw CliFailure{StatusUnusable, QStringLiteral("Can not start server: %1").arg(error)};
    // A port asked for is the one the tunnel points at: another one will not do.
    if (listen > 0 && pages.serverPort() != wanted)
        throw CliFailure{StatusUnusable,
                         QStringLiteral("The TCP port %1 on 127.0.0.1 is in use.").arg(wanted)};
}
} // namespace

int CliSession::pages() {
    const ModuleAddress at = address(0);
    const TModule& m = probe(at);
    if (!m.hasHtmlPages())
        throw CliFailure{StatusModuleErrors,
                         QStringLiteral("Module %1 (%2) has no pages.").arg(at.name(), m.TypeName)};
    // The pages take the line with a channel of their own; the module was selected last.
    const QString port = m_link.ComPort().portName();
    m_link.closePort();
    ModulePages pages;
    if (m_trace)
        pages.setTap(
            [trace = m_trace.get()](char dir, const QByteArray& b) { trace->bytes(dir, b); });
    QObject::connect(&pages, &ModulePages::pageStatus, [this](const QString& text) {
        if (!text.isEmpty()) // an empty text only clears the window's line
            m_host.err(text);
    });
    QObject::connect(&pages, &ModulePages::waitBoxOpened, [this](int seconds, const QString& text) {
        m_host.err(QStringLiteral("%1 (the module asks to wait %2 s)").arg(text).arg(seconds));
    });
    pages.setRefusalHandler([this](const QString& text) { m_host.err(text); });
    if (!pages.OpenRawPort(
            port, Link::selectFrame(at.subrack, m_modules.addressSlot(at.slot, at.subrack))))
        throw CliFailure{StatusUnusable,
                         QStringLiteral("COM Port opening error (%1)").arg(pages.errorString())};
    int width = 0, height = 0;
    const PagesCodec::SizeResult size =
        PagesCodec::parseWindowSize(pages.exchangeWindowSize(), &width, &height);
    if (size != PagesCodec::SizeResult::Ok)
        throw CliFailure{StatusModuleErrors, PagesHttp::windowSizeText(size)};
    startServer(pages, m_options.listen);
    m_host.out(pages.startAddress());
    m_host.err(QStringLiteral("Pages of module %1 (%2, %3 x %4) at %5; Ctrl-C ends.")
                   .arg(at.name(), m.TypeName)
                   .arg(width)
                   .arg(height)
                   .arg(pages.startAddress()));
    SignalWatch watch;
    QEventLoop loop;
    QObject::connect(&watch, &SignalWatch::caught, &loop, &QEventLoop::quit);
    loop.exec();
    pages.close();
    m_host.err(QStringLiteral("Pages of module %1 closed.").arg(at.name()));
    return StatusDone;
}
