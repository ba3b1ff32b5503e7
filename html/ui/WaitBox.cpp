#include "html/ui/WaitBox.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

WaitBox::WaitBox(int seconds, const QString& text, QWidget* owner)
    : QWidget(owner, Qt::Dialog | Qt::FramelessWindowHint) {
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFixedSize(370, 200);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    setAutoFillBackground(true);

    WaitProgressBar = new QProgressBar(this);
    WaitProgressBar->setGeometry(16, 32, 330, 30);
    WaitProgressBar->setRange(0, 2 * seconds);
    WaitProgressBar->setValue(0);
    WaitProgressBar->setTextVisible(false);

    WaitPanel = new QLabel(this);
    WaitPanel->setTextFormat(Qt::PlainText); // the module's text as written
    WaitPanel->setText(text);
    const QRect bar = WaitProgressBar->geometry();
    WaitPanel->setGeometry(bar.left(), bar.bottom() + 1 + 10, bar.width(), 70);
    WaitPanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    WaitPanel->setAlignment(Qt::AlignCenter);
    WaitPanel->setWordWrap(true);
    QFont font(QStringLiteral("Arial"), 14);
    font.setBold(true);
    WaitPanel->setFont(font);
    QPalette blue = WaitPanel->palette();
    blue.setColor(QPalette::WindowText, Qt::blue);
    WaitPanel->setPalette(blue);

    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->geometry().center() - rect().center());

    TimerWait.setInterval(500);
    connect(&TimerWait, &QTimer::timeout, this, &WaitBox::WaitOnTimer);
    TimerWait.start();
}

void WaitBox::WaitOnTimer() {
    if (WaitProgressBar && WaitProgressBar->value() < WaitProgressBar->maximum())
        WaitProgressBar->setValue(WaitProgressBar->value() + 1);
    else
        TimerWait.stop();
}

void WaitBox::paintEvent(QPaintEvent* event) {
    QWidget::paintEvent(event);
    PaintWaitBorder();
}

void WaitBox::PaintWaitBorder() {
    QPainter p(this);
    p.setPen(QPen(Qt::blue, 3));
    p.setBrush(Qt::NoBrush);
    // The frame runs from (1, 1) up to, not including, (width - 1, height - 1).
    p.drawRect(QRect(QPoint(1, 1), QPoint(width() - 2, height() - 2)));
}
