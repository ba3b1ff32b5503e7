#include "panel/WindowFrame.h"

#include "panel/GradientCaption.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMoveEvent>
#include <QPainter>
#include <QPushButton>
#include <QStyle>

namespace WindowFrame {

Parts build(QWidget* window, const QColor& background) {
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(Border, Border, Border, Border);
    layout->setSpacing(0);
    auto* caption = new GradientCaption(window);
    auto* content = new QWidget(window);
    content->setObjectName(QStringLiteral("content"));
    content->setAutoFillBackground(true);
    QPalette pal = content->palette();
    pal.setColor(QPalette::Window, background);
    content->setPalette(pal);
    layout->addWidget(caption);
    layout->addWidget(content, 1);
    return {caption, content};
}

void paintBorder(QWidget* window) {
    QPainter p(window);
    const int w = window->width(), h = window->height();
    p.fillRect(window->rect(), QColor(192, 192, 192));
    p.setPen(Qt::white);
    p.drawLine(0, 0, w - 1, 0);
    p.drawLine(0, 0, 0, h - 1);
    p.setPen(QColor(64, 64, 64));
    p.drawLine(w - 1, 0, w - 1, h - 1);
    p.drawLine(0, h - 1, w - 1, h - 1);
}

} // namespace WindowFrame

KeptPosition::KeptPosition(QWidget* window) : QObject(window), m_window(window) {
    window->installEventFilter(this);
}

bool KeptPosition::eventFilter(QObject* watched, QEvent* e) {
    if (watched == m_window) {
        if (e->type() == QEvent::Move)
            return !follow(*static_cast<QMoveEvent*>(e));
        if (e->type() == QEvent::Show && !m_handle && m_window->windowHandle()) {
            m_handle = m_window->windowHandle();
            m_handle->installEventFilter(this);
        }
    } else if (watched == m_handle && (e->type() == QEvent::Expose || e->type() == QEvent::Move)) {
        // Looked at once the window system's report has been dealt with.
        QMetaObject::invokeMethod(this, &KeptPosition::bringInStep, Qt::QueuedConnection);
    }
    return false;
}

bool KeptPosition::follow(const QMoveEvent& e) {
    if (!e.spontaneous()) {
        if (e.pos() != m_pos)
            m_putBack = false;
        m_pos = e.pos();
        m_known = true;
        return true;
    }
    if (!m_known || e.pos() == m_pos || m_putBack) {
        m_pos = e.pos();
        m_known = true;
        return true;
    }
    m_putBack = true;
    m_window->move(m_pos);
    return false;
}

void KeptPosition::bringInStep() {
    if (m_handle && m_window->isVisible() && m_handle->position() != m_window->pos())
        m_handle->setPosition(m_window->pos());
}

FramedDialog::FramedDialog(QWidget* owner, const QColor& background)
    : QDialog(owner, Qt::Dialog | Qt::FramelessWindowHint),
      m_parts(WindowFrame::build(this, background)) {
    m_parts.caption->setStartColor(QColor(0, 255, 255));
}

void FramedDialog::setContentSize(const QSize& size) {
    setFixedSize(size.width() + 2 * WindowFrame::Border,
                 size.height() + m_parts.caption->height() + 2 * WindowFrame::Border);
}

void FramedDialog::paintEvent(QPaintEvent*) {
    WindowFrame::paintBorder(this);
}

void FramedDialog::changeEvent(QEvent* e) {
    if (e->type() == QEvent::WindowTitleChange)
        m_parts.caption->setCaption(windowTitle());
    else if (e->type() == QEvent::ActivationChange)
        m_parts.caption->setActive(isActiveWindow());
    QDialog::changeEvent(e);
}

MessageDialog::MessageDialog(QWidget* owner, const QString& title, const QString& text, bool error,
                             const QString& yes)
    : FramedDialog(owner) {
    setObjectName(QStringLiteral("message"));
    setWindowTitle(title);
    auto* icon = new QLabel(content());
    icon->setPixmap(
        style()
            ->standardIcon(error ? QStyle::SP_MessageBoxCritical : QStyle::SP_MessageBoxInformation)
            .pixmap(32, 32));
    auto* message = new QLabel(text, content());
    message->setObjectName(QStringLiteral("text"));
    // File names and a module's own words are shown as written: "<b>" is not markup here.
    message->setTextFormat(Qt::PlainText);
    message->setTextInteractionFlags(Qt::TextSelectableByMouse);
    message->setMaximumWidth(480);
    message->setWordWrap(text.size() > 60);
    auto* ok = new QPushButton(yes.isEmpty() ? QStringLiteral("OK") : yes, content());
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    if (!yes.isEmpty()) {
        auto* no = new QPushButton(QStringLiteral("No"), content());
        connect(no, &QPushButton::clicked, this, &QDialog::reject);
        buttons->addWidget(no);
    }
    buttons->addStretch(1);
    auto* row = new QHBoxLayout;
    row->setSpacing(12);
    row->addWidget(icon, 0, Qt::AlignTop);
    row->addWidget(message, 1);
    auto* layout = new QVBoxLayout(content());
    layout->setContentsMargins(12, 12, 12, 10);
    layout->setSpacing(12);
    layout->addLayout(row);
    layout->addLayout(buttons);
    FramedDialog::layout()->setSizeConstraint(QLayout::SetFixedSize);
}
