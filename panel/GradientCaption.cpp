#include "panel/GradientCaption.h"

#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QToolButton>

namespace {
// A caption button with its glyph drawn as lines: the font's "_" sits below a button this
// low and showed nothing.
class CaptionButton : public QToolButton {
public:
    CaptionButton(QWidget* parent, bool minimise) : QToolButton(parent), m_minimise(minimise) {}

protected:
    void paintEvent(QPaintEvent* e) override {
        QToolButton::paintEvent(e);
        QPainter p(this);
        p.setPen(QPen(palette().color(QPalette::ButtonText), 2));
        const QRect r = rect().adjusted(4, 3, -4, -3);
        if (m_minimise) {
            p.drawLine(r.left(), r.bottom(), r.right(), r.bottom());
            return;
        }
        p.setRenderHint(QPainter::Antialiasing);
        p.drawLine(r.topLeft(), r.bottomRight());
        p.drawLine(r.bottomLeft(), r.topRight());
    }

private:
    bool m_minimise;
};
} // namespace

GradientCaption::GradientCaption(QWidget* parent) : QWidget(parent) {
    setFixedHeight(18);
    QFont f = font();
    f.setBold(true);
    f.setPixelSize(11);
    setFont(f);
}

void GradientCaption::setCaption(const QString& text) {
    m_text = text;
    update();
}

void GradientCaption::setStartColor(const QColor& c) {
    m_start = c;
    update();
}

void GradientCaption::setTextColors(const QColor& active, const QColor& inactive) {
    m_activeText = active;
    m_inactiveText = inactive;
    update();
}

void GradientCaption::setIcon(const QIcon& icon) {
    m_icon = icon;
    update();
}

void GradientCaption::setActive(bool active) {
    m_active = active;
    update();
}

void GradientCaption::setButtons(bool minimise, bool close) {
    auto make = [this](QToolButton*& b, bool isMinimise, const char* name) {
        if (!b) {
            b = new CaptionButton(this, isMinimise);
            b->setToolTip(isMinimise ? QStringLiteral("Minimise") : QStringLiteral("Close"));
            b->setObjectName(QLatin1String(name));
            b->setFixedSize(16, 14);
            b->setFocusPolicy(Qt::NoFocus);
        }
    };
    if (minimise) {
        make(m_min, true, "captionMinimise");
        connect(m_min, &QToolButton::clicked, this, &GradientCaption::minimiseClicked,
                Qt::UniqueConnection);
    }
    if (close) {
        make(m_close, false, "captionClose");
        connect(m_close, &QToolButton::clicked, this, &GradientCaption::closeClicked,
                Qt::UniqueConnection);
    }
    if (m_min)
        m_min->setVisible(minimise);
    if (m_close)
        m_close->setVisible(close);
    resizeEvent(nullptr);
}

void GradientCaption::resizeEvent(QResizeEvent*) {
    int x = width() - 2;
    for (QToolButton* b : {m_close, m_min}) {
        if (b && !b->isHidden()) {
            x -= b->width();
            b->move(x, 2);
            x -= 2;
        }
    }
}

void GradientCaption::paintEvent(QPaintEvent*) {
    QPainter p(this);
    QLinearGradient g(0, 0, width(), 0);
    g.setColorAt(0, m_start);
    g.setColorAt(1, m_end);
    p.fillRect(rect(), g);
    int x = 3;
    if (!m_icon.isNull()) {
        m_icon.paint(&p, QRect(x, 1, 16, 16));
        x += 19;
    }
    p.setPen(m_active ? m_activeText : m_inactiveText);
    p.drawText(QRect(x, 0, width() - x, height()), Qt::AlignVCenter | Qt::AlignLeft, m_text);
}

void GradientCaption::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton)
        return;
    m_dragging = true;
    m_pressOffset = e->globalPosition().toPoint() - window()->frameGeometry().topLeft();
}

void GradientCaption::mouseMoveEvent(QMouseEvent* e) {
    if (m_dragging)
        window()->move(e->globalPosition().toPoint() - m_pressOffset);
}

void GradientCaption::mouseReleaseEvent(QMouseEvent*) {
    if (!m_dragging)
        return;
    m_dragging = false;
    Q_EMIT released();
}
