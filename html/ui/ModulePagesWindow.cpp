#include "html/ui/ModulePagesWindow.h"

#include "html/ModulePages.h"
#include "html/PagesCodec.h"
#include "html/PagesHttp.h"
#include "html/ui/BrowserKeyHook.h"
#include "html/ui/PageStatusBar.h"
#include "html/ui/PagesMessage.h"
#include "html/ui/WaitBox.h"

#include <QEventLoop>
#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineView>

using PagesCodec::SizeResult;

namespace {
ModulePagesWindow* g_window = nullptr;

} // namespace

void ShowModulePages(const QString& portName, const QByteArray& selectFrame, QWidget* owner,
                     RawChannel::Tap tap) {
    ModulePages pages;
    if (tap)
        pages.setTap(std::move(tap));
    if (!pages.OpenRawPort(portName, selectFrame)) {
        PagesMessage::show(owner, QStringLiteral("COM Port opening error"));
        return;
    }
    {
        ModulePagesWindow window(pages, owner);
        int width = 0, height = 0;
        // A window larger than the screen is no size a module means: its data is invalid.
        const QScreen* screen = QGuiApplication::primaryScreen();
        const QSize most = screen ? screen->geometry().size() : QSize(INT_MAX, INT_MAX);
        const SizeResult size = PagesCodec::parseWindowSize(pages.exchangeWindowSize(), &width,
                                                            &height, most.width(), most.height());
        if (size != SizeResult::Ok) {
            PagesMessage::show(owner, PagesHttp::windowSizeText(size));
        } else {
            QString error;
            if (!pages.startServer(&error))
                PagesMessage::show(owner, "Can not start server\n\r" + error + "\n\r");
            window.build(width, height);
            window.loadStartPage();
            window.exec();
        }
    }
    pages.close();
}

ModulePagesWindow* ModulePagesWindow::instance() {
    return g_window;
}

ModulePagesWindow::ModulePagesWindow(ModulePages& pages, QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint), m_pages(pages) {
    g_window = this;
    setWindowTitle(QStringLiteral("ORVEX Link"));
    Timer2.setInterval(2200);
    connect(&Timer2, &QTimer::timeout, this, &ModulePagesWindow::MyTimer2Proc);
    connect(&pages, &ModulePages::pageStatus, this, &ModulePagesWindow::onPageStatus);
    connect(&pages, &ModulePages::waitBoxOpened, this, &ModulePagesWindow::openWaitBox);
    connect(&pages, &ModulePages::waitBoxClosed, this, &ModulePagesWindow::closeWaitBox);
    pages.setRefusalHandler([this](const QString& text) { PagesMessage::show(this, text); });
}

ModulePagesWindow::~ModulePagesWindow() {
    // What the window holds goes before the window: the hook, the wait box, the browser
    // (its page before the profile it was made with).
    m_keyHook.reset();
    closeWaitBox();
    delete Browser;
    Browser = nullptr;
    delete m_profile;
    m_pages.setRefusalHandler({});
    disconnect(&m_pages, nullptr, this, nullptr);
    g_window = nullptr;
}

void ModulePagesWindow::build(int width, int height) {
    StatusBar = new PageStatusBar(this);
    StatusBar->setText(PagesHttp::LoadingText);
    // A profile of the window's own: nothing of a module's pages outlives the window, and
    // another module behind the same address never gets this one's pictures from a cache.
    m_profile = new QWebEngineProfile;
    Browser = new QWebEngineView(this);
    Browser->setPage(new QWebEnginePage(m_profile, Browser));
    // Every request is a request on the serial line, and the line serves one at a time:
    // the browser asks only for what the pages name, no icon of its own accord.
    Browser->settings()->setAttribute(QWebEngineSettings::AutoLoadIconsForPage, false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(Browser, 1);
    layout->addWidget(StatusBar);
    setFixedSize(width, height + StatusBar->sizeHint().height());
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    m_keyHook = std::make_unique<BrowserKeyHook>(this, Browser);
}

bool ModulePagesWindow::loadAndWait(const QUrl& url) {
    QEventLoop loop;
    bool ok = false;
    connect(Browser, &QWebEngineView::loadFinished, &loop, [&](bool done) {
        ok = done;
        loop.quit();
    });
    Browser->load(url);
    loop.exec();
    return ok;
}

void ModulePagesWindow::loadStartPage() {
    loadAndWait(QUrl(QStringLiteral("about:blank")));
    loadAndWait(QUrl(m_pages.startAddress()));
}

void ModulePagesWindow::ShowPageStatus(const QString& text) {
    if (!StatusBar)
        return;
    StatusBar->setText(text);
    StatusCountdown = 1;
    if (!Timer2.isActive()) // a running timer keeps its phase: the text may go sooner
        Timer2.start();
}

void ModulePagesWindow::MyTimer2Proc() {
    if (StatusCountdown == 1) {
        if (StatusBar)
            StatusBar->setText(QString());
        Timer2.stop();
    }
    --StatusCountdown;
}

void ModulePagesWindow::onPageStatus(const QString& text, PageEffects::Tone tone) {
    if (StatusBar && tone == PageEffects::Tone::Green)
        StatusBar->setTextColour(QColor(0, 128, 0));
    else if (StatusBar && tone == PageEffects::Tone::Red)
        StatusBar->setTextColour(QColor(255, 0, 0));
    ShowPageStatus(text);
}

void ModulePagesWindow::openWaitBox(int seconds, const QString& text) {
    closeWaitBox();
    WaitForm = new WaitBox(seconds, text, this);
    WaitForm->show();
}

void ModulePagesWindow::closeWaitBox() {
    if (WaitForm) {
        WaitForm->close();
        delete WaitForm;
    }
}
