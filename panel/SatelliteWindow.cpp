#include "panel/SatelliteWindow.h"

#include "panel/GradientCaption.h"
#include "panel/WindowFrame.h"

#include <QEvent>
#include <QMoveEvent>

SatelliteWindow::SatelliteWindow(QWidget* owner, const QColor& background, bool closeButton)
    : QWidget(owner, Qt::Tool | Qt::FramelessWindowHint) {
    const WindowFrame::Parts parts = WindowFrame::build(this, background);
    m_caption = parts.caption;
    m_content = parts.content;
    m_caption->setButtons(false, closeButton);
    connect(m_caption, &GradientCaption::closeClicked, this, &QWidget::close);
    new KeptPosition(this);
}

void SatelliteWindow::setCaption(const QString& text) {
    m_caption->setCaption(text);
    setWindowTitle(text.trimmed());
}

QString SatelliteWindow::caption() const {
    return m_caption->caption();
}

int SatelliteWindow::outerHeightFor(int contentHeight) const {
    return contentHeight + m_caption->height() + 2 * Border;
}

void SatelliteWindow::paintEvent(QPaintEvent*) {
    WindowFrame::paintBorder(this);
}

void SatelliteWindow::moveEvent(QMoveEvent*) {
    Q_EMIT moved();
}
void SatelliteWindow::showEvent(QShowEvent*) {
    Q_EMIT shown();
}
void SatelliteWindow::hideEvent(QHideEvent*) {
    Q_EMIT hidden();
}

void SatelliteWindow::changeEvent(QEvent* e) {
    if (e->type() == QEvent::ActivationChange)
        m_caption->setActive(isActiveWindow());
    QWidget::changeEvent(e);
}
