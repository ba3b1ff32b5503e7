#pragma once

#include <QColor>
#include <QDialog>
#include <QPointer>
#include <QWindow>

class GradientCaption;
class QMoveEvent;

// Our own frame for frameless windows: a raised 3-pixel border, the gradient caption bar
// (dragging it moves the window) and a content area in a background colour. Frameless, the
// windows look alike on every desktop and get no caption buttons of a window manager's.
namespace WindowFrame {

constexpr int Border = 3;

struct Parts {
    GradientCaption* caption;
    QWidget* content;
};
// Lays the caption bar and the content area out in the window.
Parts build(QWidget* window, const QColor& background);
// Paints the border; the window's paint event calls it.
void paintBorder(QWidget* window);

} // namespace WindowFrame

// Frameless windows go only where the program puts them: its placement and the drag of their
// own caption bar. While a window manager wraps such a window in its frame, it reports the
// window at the frame's corner for a moment. Qt may keep that corner as the window's place
// (lists and menus then open against a place the window never had), or pass it on as a move
// (the other windows would follow it). Watched by a KeptPosition, such a report puts the
// window back, once (a place the window system insists on is taken), and Qt's idea of the
// window's place is brought back in step with the window's whenever it is shown or moved.
class KeptPosition : public QObject {
public:
    explicit KeptPosition(QWidget* window);

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    // True when the widget's move counts; false when the window was put back instead.
    bool follow(const QMoveEvent& e);
    void bringInStep();

    QWidget* m_window;
    QPointer<QWindow> m_handle;
    QPoint m_pos;
    bool m_known = false;
    bool m_putBack = false;
};

// A dialog in our frame; its caption bar shows the window title.
class FramedDialog : public QDialog {
    Q_OBJECT
public:
    explicit FramedDialog(QWidget* owner, const QColor& background = QColor(192, 192, 192));

    QWidget* content() const { return m_parts.content; }
    // Fixes the dialog's size to hold a content area of the given size.
    void setContentSize(const QSize& size);

protected:
    void paintEvent(QPaintEvent*) override;
    void changeEvent(QEvent* e) override;

private:
    WindowFrame::Parts m_parts;
};

// A message box in our frame: its icon, the text and "OK" (Enter and Esc close it too). With
// `yes`, a question: that button (Enter) accepts, "No" (Esc) rejects.
class MessageDialog : public FramedDialog {
    Q_OBJECT
public:
    MessageDialog(QWidget* owner, const QString& title, const QString& text, bool error,
                  const QString& yes = {});
};
