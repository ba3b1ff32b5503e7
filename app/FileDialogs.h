#pragma once

#include <QList>
#include <QString>
#include <memory>

class QFileDialog;
class QWidget;

// The main window's four file dialogs ("File" menu). A test can answer them instead of the
// user: with an answer set, ask() records the request and returns the answer without
// showing anything.
namespace FileDialogs {

// What the file commands say when there is nothing to work on.
inline const QString UnknownConfiguration = QStringLiteral("Unknown configuration. Rescan system.");
inline const QString SelectFirst = QStringLiteral("You must select module at first");

struct Request {
    Request() = default;
    Request(const QString& title, const QString& filter, const QString& extension, bool save,
            const QString& initial = {}, bool folder = false)
        : title(title), filter(filter), extension(extension), save(save), initial(initial),
          folder(folder) {}

    QString title;
    QString filter;      // Qt's syntax: "HeadEnd config. files (*.mmh)"
    QString extension;   // default suffix, without the dot
    bool save = false;   // save: ask before overwriting, the folder must exist; open: the file
    QString initial;     // the file (or folder) selected when the dialog opens
    bool folder = false; // a folder is chosen, not a file
};

// "Text|*.ext" (the form the settings keep) in Qt's syntax "Text (*.ext)".
QString qtFilter(const QString& pipeFilter);

// The dialog for a request, set up but not shown.
std::unique_ptr<QFileDialog> create(QWidget* parent, const Request& request);
// Runs the dialog modally: the chosen file, or an empty text when the user cancelled.
QString ask(QWidget* parent, const Request& request);

// Tests: every following ask() returns answer (empty: cancelled) without showing a dialog.
void setAnswer(const QString& answer);
void clearAnswer();
// The requests ask() received since the last setAnswer().
QList<Request> asked();

} // namespace FileDialogs
