#include "app/MessageLog.h"

#include "module/LineText.h"
#include "session/HeadendSession.h"

#include <QDateTime>
#include <QFileInfo>
#include <QRegularExpression>
#include <utility>

namespace {
const QRegularExpression kMarks(QStringLiteral("^[-0-9]+"));

QString countModules(int n) {
    return n == 1 ? QStringLiteral("1 module") : QStringLiteral("%1 modules").arg(n);
}
} // namespace

QString MessageLog::Entry::line() const {
    const QString time = LineText::timeText(msecs);
    QString body = text.trimmed();
    body.replace(QStringLiteral("\n\r"), QStringLiteral("\n"));
    body.replace(QLatin1Char('\n'), QStringLiteral("\n              "));
    const QString mark = kind == Kind::Error     ? QStringLiteral("! ")
                         : kind == Kind::Message ? QStringLiteral("i ")
                         : kind == Kind::Outcome ? QStringLiteral("= ")
                                                 : QStringLiteral("  ");
    return time + QLatin1Char(' ') + mark + body;
}

void MessageLog::status(const QString& text) {
    if (text.trimmed().isEmpty())
        return; // the status bar cleared
    const QString before = std::exchange(m_shown, text);
    if (before.isEmpty() || !text.startsWith(before)) {
        m_logged = text;
        add(Kind::Status, text);
        return;
    }
    // A status that grows stays one entry, without the progress marks ("-", a slot number
    // for a repeated image line) that work on it appends: they say nothing once it is over.
    QString grown = text.mid(before.size());
    if (grown.startsWith(FileTexts::Mark) || before.size() > m_logged.size())
        grown.remove(kMarks);
    if (grown.isEmpty())
        return;
    m_logged += grown;
    if (m_entries.isEmpty() || m_entries.last().kind != Kind::Status)
        return add(Kind::Status, m_logged);
    m_entries.last().text = m_logged;
    Q_EMIT replaced(m_entries.last());
}

void MessageLog::message(const QString& text, bool error) {
    add(error ? Kind::Error : Kind::Message, text);
}

void MessageLog::outcome(const QString& text) {
    add(Kind::Outcome, text);
}

void MessageLog::add(Kind kind, const QString& text) {
    m_entries << Entry{QDateTime::currentMSecsSinceEpoch(), kind, text};
    if (m_entries.size() > MaxEntries)
        m_entries.removeFirst();
    Q_EMIT added(m_entries.last());
}

void MessageLog::clear() {
    m_entries.clear();
    m_shown.clear();
    m_logged.clear();
    Q_EMIT cleared();
}

QString MessageLog::text(const QString& port) const {
    const QString format = QStringLiteral("yyyy-MM-dd HH:mm:ss");
    const QDateTime now = QDateTime::currentDateTime();
    const QDateTime from =
        m_entries.isEmpty() ? now : QDateTime::fromMSecsSinceEpoch(m_entries.first().msecs);
    QString out = QStringLiteral("ORVEX Link %1 message log\nPort: %2\nFrom %3 to %4 (%5)\n\n")
                      .arg(QStringLiteral(ORVEX_VERSION), port, from.toString(format),
                           now.toString(format), now.timeZoneAbbreviation());
    return out + text();
}

QString MessageLog::text() const {
    QString out;
    for (const Entry& e : m_entries)
        out += e.line() + QLatin1Char('\n');
    return out;
}

QString MessageLog::loadOutcome(const QString& file, const Verify::Outcome& outcome) {
    const qsizetype loaded = outcome.held.size() + outcome.notHeld.size() +
                             outcome.unchecked.size() + outcome.notBack.size();
    QString text = QStringLiteral("Loaded %1 into %2")
                       .arg(QFileInfo(file).fileName(), countModules(int(loaded)));
    if (outcome.ok())
        return text + QStringLiteral(", verified");
    if (!outcome.notHeld.isEmpty())
        text += QStringLiteral("; %1 did not keep a value")
                    .arg(countModules(int(outcome.notHeld.size())));
    if (!outcome.unchecked.isEmpty())
        text += QStringLiteral("; %1 not checked").arg(countModules(int(outcome.unchecked.size())));
    if (!outcome.notBack.isEmpty())
        text += QStringLiteral("; %1 not back after the reset")
                    .arg(countModules(int(outcome.notBack.size())));
    return text;
}

QString MessageLog::saveOutcome(const FileOutcome& saved, const QString& what) {
    const QString name = QFileInfo(saved.file).fileName();
    // A save that failed never replaces the file: one there now is the earlier one.
    if (!saved.ok())
        return QFileInfo::exists(saved.file)
                   ? QStringLiteral("Did not save %1; an earlier file of that name is kept")
                         .arg(name)
                   : QStringLiteral("Did not save %1; there is no file of that name").arg(name);
    QString text = QStringLiteral("Saved %1: %2").arg(name, what);
    if (saved.kind == FileOutcome::ModuleErrors)
        text += QStringLiteral(", with ERROR lines for what could not be read");
    return text;
}

QString MessageLog::loadStopped(const QString& file) {
    return QStringLiteral("Did not load %1: the file does not fit the head-end as scanned, or "
                          "cannot be read")
        .arg(QFileInfo(file).fileName());
}
