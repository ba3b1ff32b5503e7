#include "html/ui/PageStatusBar.h"

#include <QPainter>
#include <cmath>

PageStatusBar::PageStatusBar(QWidget* parent) : QStatusBar(parent) {
    setSizeGripEnabled(false);
    m_colour = palette().color(QPalette::WindowText);
}

void PageStatusBar::setText(const QString& text) {
    m_text = text;
    update();
}

void PageStatusBar::setTextColour(const QColor& colour) {
    m_colour = colour;
    update();
}

int PageStatusBar::panelWidth() const {
    return int(std::lround(1.5 * fontMetrics().horizontalAdvance(m_text)));
}

void PageStatusBar::paintEvent(QPaintEvent* event) {
    QStatusBar::paintEvent(event);
    QPainter painter(this);
    QRect panel = rect().adjusted(0, 2, 0, -1);
    panel.setWidth(panelWidth());
    DrawStatusPanel(painter, panel);
}

void PageStatusBar::DrawStatusPanel(QPainter& painter, const QRect& rect) {
    painter.fillRect(rect, Qt::white);
    QFont bold = font();
    bold.setBold(true);
    painter.setFont(bold);
    painter.setPen(m_colour);
    painter.drawText(rect.adjusted(1, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, m_text);
}
