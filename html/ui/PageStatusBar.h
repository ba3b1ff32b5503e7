#pragma once

#include <QColor>
#include <QStatusBar>

// The status line of the pages window: one panel drawn by us, as wide as one and a half
// times its text in the bar's font, white, the text bold in the bar's font and colour.
class PageStatusBar : public QStatusBar {
    Q_OBJECT
public:
    explicit PageStatusBar(QWidget* parent = nullptr);

    void setText(const QString& text);
    QString text() const { return m_text; }
    // The colour of the texts from now on.
    void setTextColour(const QColor& colour);
    QColor textColour() const { return m_colour; }
    // Width of the panel for the current text.
    int panelWidth() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void DrawStatusPanel(QPainter& painter, const QRect& rect);

    QString m_text;
    QColor m_colour;
};
