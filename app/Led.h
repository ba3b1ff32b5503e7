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
    QColor OnColor() const { return m_onColor; }
    void setOnColor(const QColor& c);
    QColor OffColor() const { return m_offColor; }
    void setOffColor(const QColor& c);
    QColor currentColor() const { return m_on ? m_onColor : m_offColor; }
    // Number of times LedOn has changed, for the blinking of a scan.
    int toggles() const { return m_toggles; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    bool m_on = false;
    QColor m_onColor{255, 0, 0};
    QColor m_offColor{128, 0, 0};
    int m_toggles = 0;
};
