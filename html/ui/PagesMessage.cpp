#include "html/ui/PagesMessage.h"

#include <QMessageBox>

namespace PagesMessage {

namespace {
Recorder& recorder() {
    static Recorder r;
    return r;
}
} // namespace

void show(QWidget* owner, const QString& text) {
    if (recorder()) {
        recorder()(text);
        return;
    }
    QMessageBox box(QMessageBox::Information, QStringLiteral("ORVEX Link"), text, QMessageBox::Ok,
                    owner);
    // The module's own words, shown as written: "<b>" is not markup here.
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

void setRecorder(Recorder r) {
    recorder() = std::move(r);
}

} // namespace PagesMessage
