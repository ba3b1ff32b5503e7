#pragma once

#include "panel/WindowFrame.h"

#include <QWidget>

class GradientCaption;

// A tool window that sits above the main window: no frame of the window system's, our own
// gradient caption bar, a 3-pixel border and a content area in a background colour. Its
// geometry is exactly what the program sets, so the placement arithmetic holds on any
// window manager.
class SatelliteWindow : public QWidget {
    Q_OBJECT
public:
    SatelliteWindow(QWidget* owner, const QColor& background, bool closeButton);

    GradientCaption* captionBar() const { return m_caption; }
    void setCaption(const QString& text);
    QString caption() const;
    // The area below the caption where the window's controls live.
    QWidget* content() const { return m_content; }
    // Outer height for a content area of the given height, and back.
    int outerHeightFor(int contentHeight) const;

    static constexpr int Border = WindowFrame::Border;

Q_SIGNALS:
    void moved();
    void shown();
    void hidden();

protected:
    void paintEvent(QPaintEvent*) override;
    void moveEvent(QMoveEvent*) override;
    void showEvent(QShowEvent*) override;
    void hideEvent(QHideEvent*) override;
    void changeEvent(QEvent* e) override;

private:
    GradientCaption* m_caption;
    QWidget* m_content;
};
