#include "app/Led.h"

#include <QPainter>

TLed::TLed(QWidget* parent) : QWidget(parent) {
    setFixedSize(41, 5);
}

void TLed::setLedOn(bool on) {
    if (on == m_on)
        return;
    m_on = on;
    update();
}

void TLed::setOnColor(const QColor& c) {
    if (c == m_onColor)
        return;
    m_onColor = c;
    update();
}

void TLed::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), currentColor());
    p.setPen(QColor(64, 64, 64));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
}
