#include "app/Program.h"

#include <QApplication>
#include <QProxyStyle>
#include <QStyleFactory>

namespace {
// Fusion, with lists that drop down under their box (Fusion lays an open list over its box,
// the current entry on top of it).
class Look : public QProxyStyle {
public:
    Look() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* data) const override {
        if (hint == SH_ComboBox_Popup)
            return 0;
        return QProxyStyle::styleHint(hint, option, widget, data);
    }
};
} // namespace

void Program::setLook() {
    QApplication::setStyle(new Look);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(11);
    QApplication::setFont(font);
}
