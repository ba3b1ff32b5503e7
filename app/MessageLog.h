#pragma once

#include <QList>
#include <QObject>
#include <QString>

struct FileOutcome;

namespace Verify {
struct Outcome;
}

// What the program said during the session, with its time: every status text and every
// message box text, and a line that says how each load and save of a file ended. Status texts
// that grow by appending are one entry, without the progress marks of the status bar ("-"
// per step). Kept for the session, the oldest going first beyond MaxEntries.
class MessageLog : public QObject {
    Q_OBJECT
public:
    static constexpr int MaxEntries = 10000;
    enum class Kind { Status, Message, Error, Outcome };
    struct Entry {
        qint64 msecs = 0;
        Kind kind = Kind::Status;
        QString text;
        // "14:03:11.042  text", a message's lines indented below its first.
        QString line() const;
    };

    void status(const QString& text);
    void message(const QString& text, bool error);
    void outcome(const QString& text);
    void clear();

    const QList<Entry>& entries() const { return m_entries; }
    QString text() const;
    // The text as saved: a header with the program's version, the port, the dates and times
    // of the first line and of now, then the lines.
    QString text(const QString& port) const;

    // "Loaded site1.mmh into 12 modules, verified", or what did not hold, from the check of
    // the modules the load wrote, read back after it.
    static QString loadOutcome(const QString& file, const Verify::Outcome& outcome);
    // A load that ended with "File I/O error.".
    static QString loadStopped(const QString& file);
    // "Saved headend.mmh: 12 modules", with the errors the save found, or that the file was
    // not written.
    static QString saveOutcome(const FileOutcome& saved, const QString& what);

Q_SIGNALS:
    void added(const MessageLog::Entry& entry);    // a new entry
    void replaced(const MessageLog::Entry& entry); // the last entry grew
    void cleared();

private:
    void add(Kind kind, const QString& text);
    QList<Entry> m_entries;
    QString m_shown;  // the status bar's text as last set
    QString m_logged; // and as logged, without its marks
};
