#pragma once

#include "app/VtScreen.h"
#include "link/SerialPort.h"

#include <QColor>
#include <QFont>
#include <QPointer>
#include <QWidget>
#include <utility>

// A VT100/ANSI text display bound to a serial port: what arrives on the port is shown,
// what the user types is sent. It draws its own grid in a fixed-pitch font sized to fit,
// with no scroll bars and no caret. The owner can look at every received piece and every
// key first (strReceived, keyDown, keyPressed) and change or swallow it: a key set to 0 is
// neither sent nor shown.
class TerminalView : public QWidget {
    Q_OBJECT
public:
    static constexpr int Columns = 80;

    explicit TerminalView(int rows, QWidget* parent = nullptr);

    VtScreen& screen() { return m_screen; }
    const VtScreen& screen() const { return m_screen; }

    // Default text and background colour, and the colour of bold text in the default colour.
    void setColors(const QColor& text, const QColor& background, const QColor& alternative);
    QColor textColor() const { return m_text; }
    QColor backgroundColor() const { return m_background; }
    QColor alternativeColor() const { return m_alternative; }
    // The font the grid is drawn in, at the size that fits the widget.
    QFont gridFont() const { return m_font; }

    // The port the display works on; the port stays the caller's.
    void setPort(SerialPort* port);
    SerialPort* port() const { return m_port; }
    // Opens the port and starts listening to it; true when connected.
    bool connectPort();
    // Stops listening; the port is left as it is.
    void disconnectPort();
    bool connected() const;

    // Shows bytes as if they had come from the far end.
    void display(const QByteArray& bytes);

    // Text and background colour a cell is drawn in: its own colours, the widget's defaults,
    // the alternative colour for bold text in the default colour, then reverse video.
    std::pair<QColor, QColor> colorsAt(int row, int col) const;

Q_SIGNALS:
    // A key went down: its Qt key code; set it to 0 to keep the display from sending the
    // key's own sequence (cursor and function keys).
    void keyDown(int& key, Qt::KeyboardModifiers modifiers);
    // A character was typed; set it to 0 to keep it from being sent.
    void keyPressed(quint16& key);
    // A piece of text arrived, before it is shown; the handler may replace it.
    void strReceived(QByteArray& str);

protected:
    bool event(QEvent* e) override;
    void paintEvent(QPaintEvent*) override;
    void keyPressEvent(QKeyEvent* e) override;
    void resizeEvent(QResizeEvent*) override;

private:
    void readPort();
    void transmit(const QByteArray& bytes);
    void fitFont();
    std::pair<QColor, QColor> colorsOf(const VtCell& c) const;
    void paintCell(class QPainter& p, int row, int col);
    int columnEdge(int col, bool doubleWidth) const;

    VtScreen m_screen;
    QPointer<SerialPort> m_port;
    bool m_connected = false;
    QColor m_text{255, 255, 255};
    QColor m_background{0, 0, 0};
    QColor m_alternative{255, 0, 0};
    QFont m_font;
    QFont m_boldFont;
    qreal m_cellWidth = 8;
    int m_cellHeight = 16;
    int m_ascent = 12;
};
