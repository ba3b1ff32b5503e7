// The "Help" menu: the Russian and English guides and the about box. The files are read
// from the folder "Help" of the current directory (which stays the current directory), else
// from the installed one.
#include "app/AboutBox.h"
#include "app/HelpWindow.h"
#include "app/MainWindow.h"

namespace {
void openHelp(TMainFrm& main, const QString& name) {
    QString error;
    const QString path = helpFilePath(name, &error);
    auto* window = main.findChild<HelpWindow*>();
    if (!path.isEmpty()) {
        if (!window)
            window = new HelpWindow(&main);
        if (window->showFile(path, &error)) {
            window->show();
            window->raise();
            return;
        }
    }
    main.showMessage(error, true);
}
} // namespace

void TMainFrm::RussianHelpClick() {
    openHelp(*this, QStringLiteral("ORVEXLINK_RU.hlp"));
}

void TMainFrm::EnglishHelpClick() {
    openHelp(*this, QStringLiteral("ORVEXLINK_EN.hlp"));
}

void TMainFrm::AboutClick() {
    frmAbout->exec();
}
