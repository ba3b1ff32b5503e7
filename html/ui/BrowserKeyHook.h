#pragma once

#include <QObject>
#include <QPointer>

class QWebEngineView;
class QWidget;

// The keyboard of the pages window belongs to the page: while the window exists, no
// shortcut of the program takes a key from the browser (Ctrl+C, V, X, A, Tab, Enter and the
// editing keys all reach the page), and the keys the page leaves alone (Escape, Enter
// outside a form) do not close or accept the window. Installed on the application.
class BrowserKeyHook : public QObject {
    Q_OBJECT
public:
    BrowserKeyHook(QWidget* window, QWebEngineView* browser);
    ~BrowserKeyHook() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool inBrowser(QObject* watched) const;

    QPointer<QWidget> m_window;
    QPointer<QWebEngineView> m_browser;
};
