#include "html/ui/BrowserKeyHook.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWebEngineView>

BrowserKeyHook::BrowserKeyHook(QWidget* window, QWebEngineView* browser)
    : m_window(window), m_browser(browser) {
    qApp->installEventFilter(this);
}

BrowserKeyHook::~BrowserKeyHook() {
    qApp->removeEventFilter(this);
}

bool BrowserKeyHook::inBrowser(QObject* watched) const {
    for (auto* w = qobject_cast<QWidget*>(watched); w; w = w->parentWidget())
        if (w == m_browser)
            return true;
    return false;
}

bool BrowserKeyHook::eventFilter(QObject* watched, QEvent* event) {
    if (!m_browser)
        return false;
    switch (event->type()) {
    case QEvent::ShortcutOverride:
        // Accepted, the key is delivered as a key press to the page instead of firing a
        // shortcut of the program.
        if (!inBrowser(watched))
            return false;
        event->accept();
        return true;
    case QEvent::KeyPress: {
        // A key the page did not use comes back to its window: a dialog would take Escape
        // as "close" and Enter as "accept"; the pages window takes neither.
        const int key = static_cast<QKeyEvent*>(event)->key();
        const bool dialogKey =
            key == Qt::Key_Escape || key == Qt::Key_Return || key == Qt::Key_Enter;
        return dialogKey && watched == m_window.data();
    }
    default:
        return false;
    }
}
