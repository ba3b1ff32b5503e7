#pragma once

#include <QColor>
#include <QWidget>

// The ready lamp: a small rectangle filled with OnColor while LedOn, else with OffColor.
class TLed : public QWidget {
    Q_OBJECT
public:
    explicit TLed(QWidget* parent = nullptr);

    bool LedOn() const { return m_on; }
    void setLedOn(bool on);
    void setOnColor(const QColor& c);
    QColor currentColor() const { return m_on ? m_onColor : m_offColor; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    bool m_on = false;
    QColor m_onColor{255, 0, 0};
    QColor m_offColor{128, 0, 0};
};
