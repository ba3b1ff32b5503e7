#include "panel/ParamSpinBox.h"

#include "module/Display.h"

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <algorithm>
#include <cmath>

ParamSpinBox::ParamSpinBox(QWidget* parent) : QAbstractSpinBox(parent) {
    setTypingEnabled(false);
    showValue();
}

void ParamSpinBox::setTypingEnabled(bool on) {
    m_typing = on;
    // Read-only also keeps pasting, cutting and deleting out.
    lineEdit()->setReadOnly(!on);
}

void ParamSpinBox::setDecimals(int decimals) {
    const double v = value();
    m_decimals = qBound(0, decimals, ParamDisplay::MaxDecimals);
    setValue(v);
}

void ParamSpinBox::setValue(double value) {
    // 9e18 stays inside 64 bits; nothing a module describes comes near it.
    const double units = value * double(ParamDisplay::divisor(m_decimals));
    m_units = std::isnan(units) ? 0 : std::llround(std::clamp(units, -9e18, 9e18));
    showValue();
}

double ParamSpinBox::value() const {
    return double(m_units) / double(ParamDisplay::divisor(m_decimals));
}

void ParamSpinBox::setRange(double minimum, double maximum) {
    m_minimum = minimum;
    m_maximum = maximum;
}

bool ParamSpinBox::holdsTypedText() const {
    return lineEdit()->text() != ParamDisplay::fixedText(m_units, m_decimals);
}

void ParamSpinBox::focusOutEvent(QFocusEvent* e) {
    // Its own context menu takes the focus for a moment: the typing goes on after it.
    if (e->reason() != Qt::PopupFocusReason && m_typing && holdsTypedText())
        Q_EMIT leftWithTypedText();
    QAbstractSpinBox::focusOutEvent(e);
}

void ParamSpinBox::showValue() {
    lineEdit()->setText(ParamDisplay::fixedText(m_units, m_decimals));
}

void ParamSpinBox::stepBy(int steps) {
    if (steps > 0)
        Q_EMIT topClick();
    else if (steps < 0)
        Q_EMIT bottomClick();
}

QAbstractSpinBox::StepEnabled ParamSpinBox::stepEnabled() const {
    // Both buttons always work: a press at the end of the range still reaches the handler.
    return StepUpEnabled | StepDownEnabled;
}

bool ParamSpinBox::accepts(QChar c) const {
    if (c.isDigit() || c == QLatin1Char('+') || c == QLatin1Char('-'))
        return true;
    if (m_decimals <= 0)
        return false;
    // What stays of the text once the typed character replaces the selection.
    QString rest = lineEdit()->text();
    if (lineEdit()->hasSelectedText())
        rest.remove(lineEdit()->selectionStart(), lineEdit()->selectedText().size());
    const QString separator = ParamDisplay::locale().decimalPoint();
    if (QString(c) == separator)
        return !rest.contains(separator);
    if (c == QLatin1Char('e') || c == QLatin1Char('E'))
        return !rest.contains(QLatin1Char('e'), Qt::CaseInsensitive);
    return false;
}

void ParamSpinBox::keyPressEvent(QKeyEvent* e) {
    switch (e->key()) {
    case Qt::Key_Enter:
    case Qt::Key_Return:
        e->accept();
        Q_EMIT enterPressed();
        return;
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        e->accept();
        return;
    default:
        break;
    }
    const QString text = e->text();
    if (!text.isEmpty() && text.at(0).isPrint()) {
        e->accept();
        if (!m_typing)
            return;
        for (QChar c : text) {
            if (!accepts(c)) {
                QApplication::beep();
                return;
            }
        }
    }
    QAbstractSpinBox::keyPressEvent(e);
}

void ParamSpinBox::wheelEvent(QWheelEvent* e) {
    e->ignore();
}
