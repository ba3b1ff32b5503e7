#include "html/ui/PagesMessage.h"

#include "panel/WindowFrame.h"

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
    MessageDialog box(owner, QStringLiteral("ORVEX Link"), text, false);
    box.exec();
}

void setRecorder(Recorder r) {
    recorder() = std::move(r);
}

} // namespace PagesMessage
