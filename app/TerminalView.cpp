#include "app/TerminalView.h"

#include "link/SerialPort.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QPainter>
#include <cmath>

TerminalView::TerminalView(int rows, QWidget* parent) : QWidget(parent), m_screen(rows, Columns) {
    // Focus by click or by the program, never by Tab: the display is not a tab stop.
    setFocusPolicy(Qt::ClickFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_InputMethodEnabled, false);
    connect(&m_screen, &VtScreen::changed, this, qOverload<>(&QWidget::update));
    connect(&m_screen, &VtScreen::output, this, &TerminalView::transmit);
    connect(&m_screen, &VtScreen::bell, this, [] { QApplication::beep(); });
    fitFont();
}

void TerminalView::setColors(const QColor& text, const QColor& background,
                             const QColor& alternative) {
    m_text = text;
    m_background = background;
    m_alternative = alternative;
    update();
}

void TerminalView::setPort(SerialPort* port) {
    if (port == m_port)
        return;
    disconnectPort();
    m_port = port;
}

bool TerminalView::connectPort() {
    if (!m_port)
        return false;
    if (!m_port->isOpen() && !m_port->open())
        return false;
    // Queued: a handler may close the port, which must not happen inside the port's own
    // notification.
    connect(m_port, &SerialPort::rxChars, this, &TerminalView::readPort,
            Qt::ConnectionType(Qt::QueuedConnection | Qt::UniqueConnection));
    m_connected = true;
    return true;
}

void TerminalView::disconnectPort() {
    if (m_port)
        disconnect(m_port, nullptr, this, nullptr);
    m_connected = false;
}

bool TerminalView::connected() const {
    return m_connected && m_port && m_port->isOpen();
}

void TerminalView::display(const QByteArray& bytes) {
    m_screen.feed(bytes);
}

void TerminalView::readPort() {
    if (!connected())
        return;
    const int waiting = m_port->bytesWaiting();
    if (waiting == 0)
        return;
    QByteArray str = m_port->read(waiting);
    Q_EMIT strReceived(str);
    m_screen.feed(str);
}

void TerminalView::transmit(const QByteArray& bytes) {
    if (connected())
        m_port->write(bytes);
}

bool TerminalView::event(QEvent* e) {
    // Tab and Backtab are characters for the far end, not focus moves.
    if (e->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(e);
        if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) {
            keyPressEvent(key);
            return true;
        }
    }
    return QWidget::event(e);
}

void TerminalView::keyPressEvent(QKeyEvent* e) {
    int key = e->key();
    Q_EMIT keyDown(key, e->modifiers());
    const QString text = e->text();
    if (key != 0 && text.isEmpty())
        m_screen.typeKey(key, e->modifiers());
    for (const QChar ch : text) {
        quint16 code = ch.unicode();
        Q_EMIT keyPressed(code);
        if (code != 0)
            m_screen.typeChar(code);
    }
    e->accept();
}

void TerminalView::resizeEvent(QResizeEvent*) {
    fitFont();
}

void TerminalView::fitFont() {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    font.setKerning(false);
    const int rows = m_screen.rows();
    // The largest size at which the whole grid fits; small windows get the smallest.
    for (int px = 48; px >= 6; --px) {
        font.setPixelSize(px);
        const QFontMetricsF fm(font);
        if (px == 6 || (fm.horizontalAdvance(QLatin1Char('M')) * Columns <= width() &&
                        fm.height() * rows <= height()))
            break;
    }
    const QFontMetricsF fm(font);
    m_font = font;
    m_boldFont = font;
    m_boldFont.setBold(true);
    // The grid spreads over the whole width; narrow windows crowd the characters instead.
    m_cellWidth = std::max(fm.horizontalAdvance(QLatin1Char('M')), qreal(width()) / Columns);
    const int fontHeight = int(std::ceil(fm.height()));
    m_cellHeight = std::max(fontHeight, height() / rows);
    m_ascent = (m_cellHeight - fontHeight) / 2 + int(std::ceil(fm.ascent()));
    update();
}

int TerminalView::columnEdge(int col, bool doubleWidth) const {
    return int(std::lround(col * m_cellWidth * (doubleWidth ? 2 : 1)));
}

void TerminalView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), m_screen.reversed() ? m_text : m_background);
    for (int row = 0; row < m_screen.rows(); ++row)
        for (int col = 0; col < m_screen.cols(); ++col)
            paintCell(p, row, col);
}

std::pair<QColor, QColor> TerminalView::colorsAt(int row, int col) const {
    return colorsOf(m_screen.cell(row, col));
}

std::pair<QColor, QColor> TerminalView::colorsOf(const VtCell& c) const {
    QColor fg = c.foregroundIndex == -1 ? (c.bold ? m_alternative : m_text) : c.foreground;
    QColor bg = c.backgroundIndex == -1 ? m_background : c.background;
    if (c.reverse)
        std::swap(fg, bg);
    return {fg, bg};
}

void TerminalView::paintCell(QPainter& p, int row, int col) {
    const VtCell c = m_screen.cell(row, col);
    const bool wide = c.doubleWidthLine;
    if (c.width == 0 || (wide && col >= m_screen.cols() / 2))
        return;
    const auto [fg, bg] = colorsOf(c);
    const int top = row * m_cellHeight;
    const int left = columnEdge(col, wide);
    const QRect cellRect(left, top, columnEdge(col + c.width, wide) - left, m_cellHeight);
    p.fillRect(cellRect, bg);
    if (c.text.isEmpty() || c.text == QLatin1String(" "))
        return;
    QFont font = c.bold ? m_boldFont : m_font;
    font.setUnderline(c.underline);
    font.setItalic(c.italic);
    font.setStrikeOut(c.strike);
    p.save();
    p.setClipRect(cellRect);
    p.setFont(font);
    p.setPen(fg);
    p.translate(left, top);
    // Double-width lines are drawn stretched; double-height lines show one half each.
    if (wide)
        p.scale(2, c.doubleHeight ? 2 : 1);
    // In the scaled coordinates a double-height glyph spans two rows; its bottom half starts
    // one row (half a row in these units) above this one.
    const qreal baseline = m_ascent - (c.doubleHeight == 2 ? m_cellHeight / 2.0 : 0.0);
    p.drawText(QPointF(0, baseline), c.text);
    p.restore();
}
