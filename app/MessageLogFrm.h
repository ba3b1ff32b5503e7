#pragma once

#include <QWidget>
#include <functional>

class MessageLog;
class QPlainTextEdit;
class QPushButton;

// "Settings" → "Message log…": what the program said this session, one line each with its
// time, the newest at the bottom; saved as text with "Save log…".
class TMessageLogFrm : public QWidget {
    Q_OBJECT
public:
    // port: the name of the line the program works on now, for the saved file's header.
    TMessageLogFrm(MessageLog& log, QWidget* owner, std::function<QString()> port);

    // Writes the log with its header to a file; false with *error when it cannot be written.
    bool saveTo(const QString& path, QString* error) const;

    QPlainTextEdit* mmLog = nullptr;
    QPushButton* btSave = nullptr;
    QPushButton* btClear = nullptr;

protected:
    void showEvent(QShowEvent* e) override;

private:
    void saveClick();
    void refill();
    void append(const QString& line);
    // Whether the newest line is in view; keeps it there once the text has been laid out.
    bool shownToEnd() const;
    void scrollToEnd();

    MessageLog& m_log;
    std::function<QString()> m_port;
};
