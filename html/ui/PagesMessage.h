#pragma once

#include <QString>
#include <functional>

class QWidget;

// The message boxes of the pages window. Tests install a recorder: messages then go to it
// and nothing blocks.
namespace PagesMessage {

// Shows the text in a message box with an OK button and returns when it is closed.
void show(QWidget* owner, const QString& text);

using Recorder = std::function<void(const QString& text)>;
// Replaces the message boxes (an empty recorder brings them back).
void setRecorder(Recorder recorder);

} // namespace PagesMessage
