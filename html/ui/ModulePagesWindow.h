#pragma once

#include "html/PageService.h"
#include "html/RawChannel.h"

#include <QDialog>
#include <QPointer>
#include <QTimer>
#include <memory>

class BrowserKeyHook;
class ModulePages;
class PageStatusBar;
class QWebEngineProfile;
class QWebEngineView;
class WaitBox;

// Shows the HTML pages of the module selected last on the line of portName (selectFrame
// addresses it again after the line was lost and found): takes the
// line over, asks the module for the size of its pages, shows them in a modal browser
// window and returns when the user has closed it, with the line closed again. The link's
// own port must be closed before and is opened again by the caller afterwards. The tap, when
// given, sees every byte of the pages on the line.
void ShowModulePages(const QString& portName, const QByteArray& selectFrame,
                     QWidget* owner = nullptr, RawChannel::Tap tap = {});

// The pages window: a browser on the local server's start page above a status line.
class ModulePagesWindow : public QDialog {
    Q_OBJECT
public:
    ModulePagesWindow(ModulePages& pages, QWidget* owner);
    ~ModulePagesWindow() override;

    // The window while it exists (one at a time), else null.
    static ModulePagesWindow* instance();

    // The browser and the status line for pages of width × height.
    void build(int width, int height);
    // Loads "about:blank", then the start address, serving events until each has loaded.
    void loadStartPage();

    // A status text, cleared by the next tick of Timer2.
    void ShowPageStatus(const QString& text);

    QTimer Timer2;
    QWebEngineView* Browser = nullptr;
    PageStatusBar* StatusBar = nullptr;
    QPointer<WaitBox> WaitForm;
    int StatusCountdown = 0;

private:
    void MyTimer2Proc();
    void onPageStatus(const QString& text, PageEffects::Tone tone);
    void openWaitBox(int seconds, const QString& text);
    void closeWaitBox();
    bool loadAndWait(const QUrl& url);

    ModulePages& m_pages;
    QWebEngineProfile* m_profile = nullptr;
    std::unique_ptr<BrowserKeyHook> m_keyHook;
};
