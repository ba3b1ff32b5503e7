#include "app/TerminalView.h"

#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QPainter>
#include <cmath>

namespace {
constexpr int kBlinkMs = 530;
constexpr int kWheelLines = 3;
} // namespace

TerminalView::TerminalView(int rows, QWidget* parent) : QWidget(parent), m_screen(rows, Columns) {
    // Focus by click or by the program, never by Tab: the display is not a tab stop.
    setFocusPolicy(Qt::ClickFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_InputMethodEnabled, false);
    connect(&m_screen, &VtScreen::changed, this, qOverload<>(&QWidget::update));
    connect(&m_screen, &VtScreen::output, this, &TerminalView::output);
    connect(&m_screen, &VtScreen::bell, this, [] { QApplication::beep(); });
    m_blink.setInterval(kBlinkMs);
    connect(&m_blink, &QTimer::timeout, this, [this] {
        m_blinkOn = !m_blinkOn;
        update();
    });
    fitFont();
}

void TerminalView::setColors(const QColor& text, const QColor& background,
                             const QColor& alternative) {
    m_text = text;
    m_background = background;
    m_alternative = alternative;
    update();
}

void TerminalView::display(const QByteArray& bytes) {
    const qint64 top = m_screen.screenTop();
    m_screen.feed(bytes);
    // Scrolled back, the view stays on the lines it shows while new ones come in below.
    if (m_scroll > 0)
        scrollBack(int(m_screen.screenTop() - top));
    restartBlink();
}

void TerminalView::scrollBack(int lines) {
    const int most = int(m_screen.screenTop() - m_screen.firstLine());
    const int to = std::clamp(m_scroll + lines, 0, most);
    if (to != m_scroll) {
        m_scroll = to;
        update();
    }
}

bool TerminalView::event(QEvent* e) {
    // A control key is a character for the far end (Ctrl+S is XOFF), not the program's shortcut.
    if (e->type() == QEvent::ShortcutOverride &&
        (static_cast<QKeyEvent*>(e)->modifiers() & ~Qt::KeypadModifier) == Qt::ControlModifier) {
        e->accept();
        return true;
    }
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

// Keys of the view itself: paging through the scrollback, copy and paste.
bool TerminalView::viewKey(QKeyEvent* e) {
    const Qt::KeyboardModifiers mods = e->modifiers() & ~Qt::KeypadModifier;
    const bool shift = mods == Qt::ShiftModifier;
    const bool ctrlShift = mods == (Qt::ControlModifier | Qt::ShiftModifier);
    const int page = m_screen.rows() - 1;
    if (shift && (e->key() == Qt::Key_PageUp || e->key() == Qt::Key_PageDown))
        scrollBack(e->key() == Qt::Key_PageUp ? page : -page);
    else if (ctrlShift && e->key() == Qt::Key_C)
        copy();
    else if (ctrlShift && e->key() == Qt::Key_V)
        paste(QClipboard::Clipboard);
    else if (shift && e->key() == Qt::Key_Insert)
        paste(QClipboard::Selection);
    else
        return false;
    return true;
}

void TerminalView::keyPressEvent(QKeyEvent* e) {
    e->accept();
    if (viewKey(e))
        return;
    if (!e->text().isEmpty() || (e->key() != Qt::Key_Shift && e->key() != Qt::Key_Control &&
                                 e->key() != Qt::Key_Alt && e->key() != Qt::Key_Meta))
        scrollBack(-m_scroll); // typing works on the live screen
    restartBlink();
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
    paintCursor(p);
    paintScrollMark(p);
}

void TerminalView::paintCursor(QPainter& p) {
    if (!m_screen.cursorVisible() || m_scroll > 0)
        return;
    const QPoint at = m_screen.cursor();
    const QRect cell(columnEdge(at.x(), false), at.y() * m_cellHeight,
                     columnEdge(at.x() + 1, false) - columnEdge(at.x(), false), m_cellHeight);
    const QColor ink = colorsAt(at.y(), at.x()).first;
    if (!hasFocus()) { // the keyboard is elsewhere: an outline
        p.setPen(ink);
        p.setBrush(Qt::NoBrush);
        p.drawRect(cell.adjusted(0, 0, -1, -1));
    } else if (m_blinkOn || !m_screen.cursorBlinks()) {
        p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
        p.fillRect(cell, QColor(255, 255, 255));
        p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    }
}

// Scrolled back: how far, in the corner, so that nobody takes old lines for the live screen.
void TerminalView::paintScrollMark(QPainter& p) {
    if (m_scroll == 0)
        return;
    const QString mark = QStringLiteral(" %1 lines back, Shift+PgDn ").arg(m_scroll);
    p.setFont(m_font);
    const QRect box = p.fontMetrics().boundingRect(mark).adjusted(0, 0, 4, 2);
    const QRect place(width() - box.width() - 2, 2, box.width(), box.height());
    p.fillRect(place, m_alternative);
    p.setPen(m_background);
    p.drawText(place, Qt::AlignCenter, mark);
}

void TerminalView::restartBlink() {
    m_blinkOn = true;
    if (hasFocus() && m_screen.cursorBlinks())
        m_blink.start();
    else
        m_blink.stop();
}

void TerminalView::focusInEvent(QFocusEvent* e) {
    QWidget::focusInEvent(e);
    restartBlink();
    update();
}

void TerminalView::focusOutEvent(QFocusEvent* e) {
    QWidget::focusOutEvent(e);
    m_blink.stop();
    update();
}

std::pair<qint64, int> TerminalView::cellUnder(const QPoint& pos) const {
    const int row = std::clamp(pos.y() / std::max(1, m_cellHeight), 0, m_screen.rows() - 1);
    const int col = std::clamp(int(pos.x() / m_cellWidth), 0, m_screen.cols() - 1);
    return {m_screen.screenTop() - m_scroll + row, col};
}

void TerminalView::select(qint64 line, int col, qint64 toLine, int toCol) {
    m_anchorLine = line;
    m_anchorCol = col;
    m_endLine = toLine;
    m_endCol = toCol;
    m_hasSelection = true;
    update();
}

bool TerminalView::selected(qint64 line, int col) const {
    if (!m_hasSelection)
        return false;
    auto a = std::make_pair(m_anchorLine, m_anchorCol);
    auto b = std::make_pair(m_endLine, m_endCol);
    if (b < a)
        std::swap(a, b);
    const auto at = std::make_pair(line, col);
    return !(at < a) && !(b < at);
}

QString TerminalView::selectedText() const {
    if (!m_hasSelection)
        return {};
    auto a = std::make_pair(m_anchorLine, m_anchorCol);
    auto b = std::make_pair(m_endLine, m_endCol);
    if (b < a)
        std::swap(a, b);
    return m_screen.text(a.first, a.second, b.first, b.second);
}

void TerminalView::copy(QClipboard::Mode mode) const {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (m_hasSelection && (mode != QClipboard::Selection || clipboard->supportsSelection()))
        clipboard->setText(selectedText(), mode);
}

void TerminalView::paste(QClipboard::Mode mode) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (mode == QClipboard::Selection && !clipboard->supportsSelection())
        mode = QClipboard::Clipboard;
    const QByteArray keys = pasteKeys(clipboard->text(mode));
    if (keys.isEmpty())
        return;
    scrollBack(-m_scroll);
    Q_EMIT pasted(keys);
}

QByteArray TerminalView::pasteKeys(const QString& text) {
    QString t = text;
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\r"))
        .replace(QLatin1Char('\n'), QLatin1Char('\r'));
    QByteArray keys;
    for (const QChar c : t)
        if (c.unicode() < 0x100)
            keys += char(c.unicode());
    return keys;
}

void TerminalView::mousePressEvent(QMouseEvent* e) {
    setFocus(Qt::MouseFocusReason);
    if (e->button() == Qt::MiddleButton) {
        paste(QClipboard::Selection);
    } else if (e->button() == Qt::LeftButton) {
        const auto [line, col] = cellUnder(e->position().toPoint());
        m_anchorLine = m_endLine = line;
        m_anchorCol = m_endCol = col;
        m_hasSelection = false;
        m_selecting = true;
        update();
    }
}

void TerminalView::mouseMoveEvent(QMouseEvent* e) {
    if (!m_selecting)
        return;
    // Dragged above or below the grid, the view scrolls along.
    if (e->position().y() < 0)
        scrollBack(1);
    else if (e->position().y() >= height())
        scrollBack(-1);
    const auto [line, col] = cellUnder(e->position().toPoint());
    m_endLine = line;
    m_endCol = col;
    m_hasSelection = m_endLine != m_anchorLine || m_endCol != m_anchorCol;
    update();
}

void TerminalView::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton || !m_selecting)
        return;
    m_selecting = false;
    copy(QClipboard::Selection);
}

void TerminalView::wheelEvent(QWheelEvent* e) {
    const int notches = e->angleDelta().y() / 120;
    scrollBack(notches * kWheelLines);
    e->accept();
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
    const qint64 line = m_screen.screenTop() - m_scroll + row;
    const VtCell c = m_screen.cellAt(line, col);
    const bool wide = c.doubleWidthLine;
    if (c.width == 0 || (wide && col >= m_screen.cols() / 2))
        return;
    auto [fg, bg] = colorsOf(c);
    if (selected(line, col))
        std::swap(fg, bg);
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
