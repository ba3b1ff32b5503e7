#pragma once

#include "html/ui/ModulePagesWindow.h"
#include "html/ui/PageStatusBar.h"
#include "html/ui/PagesMessage.h"
#include "tests/support/EventLoop.h"

#include <QApplication>
#include <QDir>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <functional>

// Runs ShowModulePages (which returns only when its window has closed) with the message
// boxes recorded, and lets a test work in the window while it is open.
struct PagesWindowFixture {
    PagesWindowFixture() {
        PagesMessage::setRecorder([this](const QString& text) { messages << text; });
    }
    ~PagesWindowFixture() { PagesMessage::setRecorder({}); }

    // Shows the pages of the port; body runs once the window is visible, then the window
    // is closed (unless body closed it).
    void show(const QString& port, std::function<void(ModulePagesWindow&)> body = {}) {
        bool ran = false;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            ModulePagesWindow* w = ModulePagesWindow::instance();
            if (ran || !w || !w->isVisible())
                return;
            ran = true;
            poll.stop();
            if (body)
                body(*w);
            if (ModulePagesWindow::instance())
                ModulePagesWindow::instance()->close();
        });
        poll.start(20);
        ShowModulePages(port, nullptr);
        shown = ran;
    }

    // Runs a script in the page and waits for its result.
    static QVariant js(QWebEngineView* view, const QString& script) {
        QVariant result;
        bool done = false;
        view->page()->runJavaScript(script, [&](const QVariant& v) {
            result = v;
            done = true;
        });
        runUntil([&] { return done; }, 10000);
        return result;
    }
    static QString html(QWebEngineView* view) {
        // Between two documents there is none.
        const QString script =
            QStringLiteral("document.documentElement ? document.documentElement.outerHTML : ''");
        return js(view, script).toString();
    }
    // Saves a picture of the widget when ORVEX_SCREENSHOTS names a folder.
    static void screenshot(QWidget* widget, const QString& name) {
        const QString dir = qEnvironmentVariable("ORVEX_SCREENSHOTS");
        if (dir.isEmpty())
            return;
        runFor(1000); // the page is drawn a moment after the window shows
        widget->grab().save(QDir(dir).filePath(name + QStringLiteral(".png")));
    }

    QStringList messages;
    bool shown = false;
};
