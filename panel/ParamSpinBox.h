#pragma once

#include <QAbstractSpinBox>

// The panel's numeric control: an edit with up and down buttons that shows a value with a
// fixed number of decimals and the user's decimal separator. It never changes its value by
// itself: its buttons and the Up and Down keys only raise topClick and bottomClick, and the
// panel's handlers decide what is shown (its own increment is 0). The wheel and the page keys
// do nothing, so no value is written by accident.
//
// Typing is off by default: then no printable character is taken. With typing on it takes
// digits and signs, and at one or more decimals one decimal separator and one exponent letter
// that the text does not hold yet; any other character is refused with a beep. Enter raises
// enterPressed whatever the text holds; leaving typed text behind raises leftWithTypedText.
class ParamSpinBox : public QAbstractSpinBox {
    Q_OBJECT
public:
    explicit ParamSpinBox(QWidget* parent = nullptr);

    void setTypingEnabled(bool on);

    // Digits after the separator (0 = integer display). The value shown keeps its number.
    void setDecimals(int decimals);
    int decimals() const { return m_decimals; }

    // Rounded to the decimals shown, so that repeated steps cannot drift.
    void setValue(double value);
    double value() const;

    // The range the value is expected in. The control does not hold the value to it: it
    // shows what the module holds, and the handlers check typed numbers themselves.
    void setRange(double minimum, double maximum);
    double minimum() const { return m_minimum; }
    double maximum() const { return m_maximum; }

    // The text differs from the value: typed, not yet taken with Enter.
    bool holdsTypedText() const;
    // Shows the value again in place of typed text.
    void revert() { showValue(); }

Q_SIGNALS:
    void topClick();
    void bottomClick();
    void enterPressed();
    // The focus left the box (another control, another window) while it held typed text.
    void leftWithTypedText();

public:
    void stepBy(int steps) override;

protected:
    StepEnabled stepEnabled() const override;
    void keyPressEvent(QKeyEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;

private:
    bool accepts(QChar c) const;
    void showValue();

    bool m_typing = false;
    int m_decimals = 0;
    qint64 m_units = 0; // the value in units of the last decimal shown
    double m_minimum = 0;
    double m_maximum = 0;
};
