#include "panel/SatelliteWindow.h"

#include "panel/GradientCaption.h"

#include <QEvent>
#include <QPainter>
#include <QVBoxLayout>

SatelliteWindow::SatelliteWindow(QWidget* owner, const QColor& background, bool closeButton)
    : QWidget(owner, Qt::Tool | Qt::FramelessWindowHint) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(Border, Border, Border, Border);
    layout->setSpacing(0);
    m_caption = new GradientCaption(this);
    m_caption->setButtons(false, closeButton);
    connect(m_caption, &GradientCaption::closeClicked, this, &QWidget::close);
    m_content = new QWidget(this);
    m_content->setObjectName(QStringLiteral("content"));
    m_content->setAutoFillBackground(true);
    QPalette pal = m_content->palette();
    pal.setColor(QPalette::Window, background);
    m_content->setPalette(pal);
    layout->addWidget(m_caption);
    layout->addWidget(m_content, 1);
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
    QPainter p(this);
    p.fillRect(rect(), QColor(192, 192, 192));
    p.setPen(Qt::white);
    p.drawLine(0, 0, width() - 1, 0);
    p.drawLine(0, 0, 0, height() - 1);
    p.setPen(QColor(64, 64, 64));
    p.drawLine(width() - 1, 0, width() - 1, height() - 1);
    p.drawLine(0, height() - 1, width() - 1, height() - 1);
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
