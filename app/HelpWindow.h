#pragma once

#include <QWidget>

class QTextBrowser;

// The help browser: shows one of the program's help files (HTML) with its table of contents.
class HelpWindow : public QWidget {
    Q_OBJECT
public:
    explicit HelpWindow(QWidget* owner);
    // Shows the file; false with *error set when it cannot be read.
    bool showFile(const QString& path, QString* error);

    QTextBrowser* browser = nullptr;
};

// Path of a help file in the first of the help folders (Places::helpFolders) that exists;
// empty with *error set when none does or the file is missing there.
QString helpFilePath(const QString& name, QString* error);
