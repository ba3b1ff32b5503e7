#pragma once

#include "panel/WindowFrame.h"

class QLabel;
class QPushButton;

// Version text of a file version: "1 .3 .3" for 1.3.3.43 (the build number is not shown).
QString versionText(int major, int minor, int release);

// The about box: our picture, the version of this build, "Close".
class TfrmAbout : public FramedDialog {
    Q_OBJECT
public:
    // version: the version text, or empty when the build carries none.
    explicit TfrmAbout(QWidget* owner, const QString& version = buildVersionText());

    static QString buildVersionText();

    QLabel* imgAbout = nullptr;
    QLabel* lbVersion = nullptr;
    QPushButton* btClose = nullptr;
};
