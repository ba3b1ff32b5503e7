#pragma once

#include "app/VtScreen.h"

#include <QClipboard>
#include <QColor>
#include <QFont>
#include <QTimer>
#include <QWidget>
#include <utility>

// A VT100/ANSI text display: it shows what it is given (display()) and hands back what goes
// to the far end (output(): the sequences of keys, the answers to the far end's queries); it
// holds no line. It draws its own grid in a fixed-pitch font sized to fit, with no scroll
// bars, and the far end's cursor (blinking when the far end says so). The owner sees every
// key first (keyDown, keyPressed) and may swallow it: a key set to 0 is not sent.
//
// The lines that scrolled off stay in reach: the wheel and Shift+PgUp/PgDn page through
// them, a key typed returns to the live screen. The mouse selects text, which becomes the
// primary selection; Ctrl+Shift+C copies it. Ctrl+Shift+V pastes the clipboard, Shift+Insert
// and the middle button the primary selection: pasted text is handed to the owner as keys
// (pasted()), line ends as Enter.
class TerminalView : public QWidget {
    Q_OBJECT
public:
    static constexpr int Columns = 80;

    explicit TerminalView(int rows, QWidget* parent = nullptr);

    VtScreen& screen() { return m_screen; }
    const VtScreen& screen() const { return m_screen; }

    // Default text and background colour, and the colour of bold text in the default colour.
    void setColors(const QColor& text, const QColor& background, const QColor& alternative);

    // Shows bytes that came from the far end.
    void display(const QByteArray& bytes);

    // Text and background colour a cell is drawn in: its own colours, the widget's defaults,
    // the alternative colour for bold text in the default colour, then reverse video.
    std::pair<QColor, QColor> colorsAt(int row, int col) const;

    // Lines scrolled back from the live screen (0: live); scrolling stays within the kept
    // lines.
    int scrolledBack() const { return m_scroll; }
    void scrollBack(int lines);
    // The selection, in the screen's line numbers (VtScreen::screenTop()).
    void select(qint64 line, int col, qint64 toLine, int toCol);
    QString selectedText() const;
    void copy(QClipboard::Mode mode = QClipboard::Clipboard) const;
    void paste(QClipboard::Mode mode);
    // Text as the keys a paste types: line ends (CR LF, LF) become CR; characters the line
    // cannot carry (beyond 8 bits) are left out.
    static QByteArray pasteKeys(const QString& text);

Q_SIGNALS:
    // A key went down: its Qt key code; set it to 0 to keep the display from sending the
    // key's own sequence (cursor and function keys).
    void keyDown(int& key, Qt::KeyboardModifiers modifiers);
    // A character was typed; set it to 0 to keep it from being sent.
    void keyPressed(quint16& key);
    // Bytes for the far end.
    void output(const QByteArray& bytes);
    // The user pasted these keys.
    void pasted(const QByteArray& keys);

protected:
    bool event(QEvent* e) override;
    void paintEvent(QPaintEvent*) override;
    void keyPressEvent(QKeyEvent* e) override;
    void resizeEvent(QResizeEvent*) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;

private:
    void fitFont();
    bool viewKey(QKeyEvent* e);
    std::pair<QColor, QColor> colorsOf(const VtCell& c) const;
    void paintCell(class QPainter& p, int row, int col);
    void paintCursor(class QPainter& p);
    void paintScrollMark(class QPainter& p);
    int columnEdge(int col, bool doubleWidth) const;
    // The line and column under a point of the widget.
    std::pair<qint64, int> cellUnder(const QPoint& pos) const;
    bool selected(qint64 line, int col) const;
    void restartBlink();

    VtScreen m_screen;
    QColor m_text{255, 255, 255};
    QColor m_background{0, 0, 0};
    QColor m_alternative{255, 0, 0};
    QFont m_font;
    QFont m_boldFont;
    qreal m_cellWidth = 8;
    int m_cellHeight = 16;
    int m_ascent = 12;
    int m_scroll = 0;
    bool m_selecting = false;
    bool m_hasSelection = false;
    qint64 m_anchorLine = 0, m_endLine = 0;
    int m_anchorCol = 0, m_endCol = 0;
    QTimer m_blink;
    bool m_blinkOn = true;
};
