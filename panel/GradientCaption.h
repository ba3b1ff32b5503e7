#pragma once

#include <QColor>
#include <QIcon>
#include <QWidget>

class QToolButton;

// The caption bar of our windows: a horizontal gradient from a start colour to navy with
// the caption text on it, drawn alike whether the window is active or not (only the text
// colour changes). Dragging it moves the window.
class GradientCaption : public QWidget {
    Q_OBJECT
public:
    explicit GradientCaption(QWidget* parent = nullptr);

    void setCaption(const QString& text);
    QString caption() const { return m_text; }
    void setStartColor(const QColor& c);
    void setTextColors(const QColor& active, const QColor& inactive);
    void setIcon(const QIcon& icon);
    // Caption buttons: minimise and close.
    void setButtons(bool minimise, bool close);
    void setActive(bool active);

Q_SIGNALS:
    void minimiseClicked();
    void closeClicked();
    // The user let go of the caption after pressing it (whether he dragged or not).
    void released();

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void resizeEvent(QResizeEvent*) override;

private:
    QString m_text;
    QColor m_start{0, 255, 255};
    QColor m_end{0, 0, 128};
    QColor m_activeText{Qt::black};
    QColor m_inactiveText{0, 128, 0};
    bool m_active = true;
    QIcon m_icon;
    QToolButton* m_min = nullptr;
    QToolButton* m_close = nullptr;
    QPoint m_pressOffset;
    bool m_dragging = false;
};
