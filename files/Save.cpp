// Saving: module blocks from the records (parameter modules) or from the module's EEPROM
// image read over the line (image modules), into a file that replaces the earlier one only
// when it was written completely.
#include "files/Compare.h"
#include "files/ControlsScope.h"
#include "files/FileFormat.h"
#include "files/FileTexts.h"
#include "files/SaveLoad.h"

#include "link/HeadendScan.h"
#include "link/Link.h"
#include "link/LinkHost.h"
#include "module/ModuleTable.h"
#include "module/Protocol.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

namespace {
constexpr int kShortImageLine = 8; // an answer this short ends the dump
constexpr int kMarkEvery = 10;     // "04" answers per progress mark

// The part of a special command's reply before its first "R"; empty without one.
QString beforeR(const QString& reply) {
    const qsizetype r = reply.indexOf(QLatin1Char('R'));
    return r < 0 ? QString() : reply.left(r);
}

QByteArray errorLine(const QString& result) {
    return FileFormat::ErrorPrefix + ' ' + FileFormat::textLine(result);
}

// "headend.mmh" → "headend-20261208-071500.mmh" beside it (with "-2", ... if taken).
QString besideName(const QString& fileName) {
    const QFileInfo info(fileName);
    const QString suffix = info.suffix().isEmpty() ? QString() : QLatin1Char('.') + info.suffix();
    const QString base = fileName.chopped(suffix.size()) + QLatin1Char('-') +
                         QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString name = base + suffix;
    for (int n = 2; QFileInfo::exists(name); ++n)
        name = base + QStringLiteral("-%1").arg(n) + suffix;
    return name;
}
} // namespace

SaveLoad::SaveLoad(Link& link, ModuleTable& modules, SharedState& state, LinkHost& host)
    : m_link(link), m_modules(modules), m_state(state), m_host(host) {}

void SaveLoad::writeLine(QIODevice& file, const QByteArray& line) {
    const QByteArray bytes = line + FileFormat::LineEnd;
    if (file.write(bytes) != bytes.size())
        throw FileError(file.errorString());
}

void SaveLoad::writeHeaderComments(QIODevice& file) {
    writeLine(file, FileFormat::FirstComment);
    writeLine(file, FileFormat::DateComment + QDateTime::currentDateTime()
                                                  .toString(QStringLiteral("dd.MM.yyyy hh:mm:ss"))
                                                  .toLatin1());
}

bool SaveLoad::WriteModuleBlock(int subrack, int slot, QIODevice& file, const KeptImage& kept) {
    const TModule* m = m_modules.at(slot, subrack);
    const QString at = ModuleAddress{subrack, slot}.name();
    if (!m)
        throw FileError(QStringLiteral("no record of module %1").arg(at));
    const bool params = m->InfoKind == InfoParam;
    // Values holds 100 channels: a parameter module with more cannot be described by the
    // file. An image module's count is only noted in its address line.
    if (params && m->ChannelCount > MaxChannels)
        throw FileError(QStringLiteral("module %1 has %2 channels, a file holds %3 at most")
                            .arg(at)
                            .arg(m->ChannelCount)
                            .arg(MaxChannels));
    m_link.SelectRecord(subrack, slot);
    writeLine(file, FileFormat::Mod);
    writeLine(file, FileFormat::headerLine(subrack, slot, m->ChannelCount));
    // A text that would not read back makes a block no load can apply: an ERROR line in its
    // place ends the block, and the rest of the file stays loadable.
    const std::optional<QByteArray> type = FileFormat::storedLine(m->TypeName);
    const std::optional<QByteArray> version = FileFormat::storedLine(m->VersionText);
    // A parameter module without channels, or whose information or values the last read
    // could not take in whole (answers lost, late or garbled), has no settings to store: its
    // block says so, and the rest of the head-end is saved.
    const bool unread = params && (m->ChannelCount < 1 || m->UnreadParts != 0);
    if (type)
        writeLine(file, *type);
    if (!type || !version || unread) {
        writeLine(file, !type      ? FileFormat::BadTypeName
                        : !version ? FileFormat::BadVersion
                                   : FileFormat::InfoNotRead);
        writeLine(file, FileFormat::ModEnd);
        return true;
    }
    writeLine(file, *version);
    const bool errors = writeSettings(*m, subrack, slot, file, kept);
    writeLine(file, FileFormat::ModEnd);
    return errors;
}

bool SaveLoad::writeSettings(const TModule& m, int subrack, int slot, QIODevice& file,
                             const KeptImage& kept) {
    if (m.InfoKind == InfoParam) {
        writeLine(file, FileFormat::Param);
        // A module without parameters has nothing to restore; its empty value lines would
        // make the whole file unreadable.
        if (m.ParamCount > 0)
            for (int k = 0; k < m.ChannelCount; ++k)
                writeLine(file, FileFormat::valueLine(m, k));
        return false;
    }
    if (kept) {
        // Without a kind line a load checks the module and writes nothing to it.
        const std::optional<QByteArrayList> lines = kept(subrack, slot);
        writeLine(file, lines ? FileFormat::Eeprom : FileFormat::ImageNotRead);
        for (const QByteArray& line : lines.value_or(QByteArrayList()))
            writeLine(file, line);
        return false;
    }
    writeLine(file, FileFormat::Eeprom);
    return writeImage(subrack, slot, file);
}

bool SaveLoad::writeImage(int subrack, int slot, QIODevice& file) {
    if (!m_link.EnterSpecMode()) {
        writeLine(file, FileFormat::NoSpecialMode);
        return true;
    }
    const QString reply = m_link.SendSpecCmd(QLatin1String(Protocol::ImageOpen.code));
    if (reply.startsWith(QLatin1Char('-'))) {
        writeLine(file, errorLine(reply));
        return true;
    }
    bool errors = false;
    for (const QByteArray& line : readImage(&errors))
        writeLine(file, line);
    m_link.SelectModule(subrack, slot);
    m_link.ResetModule();
    // The module is silent while it restarts: whoever comes next must find it there.
    if (!AwaitRestart(m_link, m_host, subrack, slot)) {
        m_notBack << ModuleAddress{subrack, slot};
        errors = true;
    }
    return errors;
}

QByteArrayList SaveLoad::readImage(bool* errors) {
    const QString first = m_link.SendSpecCmd(QLatin1String(Protocol::ImageFirst.code));
    QString text = beforeR(first);
    // A failed first answer gives no image; an empty line in its place would make the file
    // unreadable.
    *errors = true;
    if (text.isEmpty())
        return {errorLine(first)};
    QByteArrayList lines;
    QByteArray failure;
    // An image is kept only when it was read whole: no load may apply a part of it.
    const auto keep = [&](const QString& t) {
        const std::optional<QByteArray> line = FileFormat::storedLine(t);
        if (!line || *line == FileFormat::ModEnd || line->startsWith(FileFormat::ErrorPrefix))
            failure = FileFormat::BadImageLine;
        else if (lines.size() == FileFormat::MaxImageLines)
            failure = FileFormat::ImageTooLong; // a module or a line that never ends it
        else
            lines << *line;
        return failure.isEmpty();
    };
    if (!keep(text))
        return {failure};
    for (int n = 0; text.size() > kShortImageLine; ++n) {
        // A failed answer ("-2": none in time) is no end of the image: none of it is kept.
        const QString reply = m_link.SendSpecCmd(QLatin1String(Protocol::ImageNext.code));
        if (reply.startsWith(QLatin1Char('-')))
            return {errorLine(reply)};
        text = beforeR(reply);
        if (text.size() > kShortImageLine && !keep(text))
            return {failure};
        if (n % kMarkEvery == 0)
            m_host.appendStatus(FileTexts::Mark);
    }
    *errors = false;
    return lines;
}

QStringList SaveLoad::notBackLines() const {
    QStringList lines;
    for (const ModuleAddress& a : m_notBack)
        lines << QStringLiteral("Error: Module %1 not responding after its reset.").arg(a.name());
    return lines;
}

void SaveLoad::reportSaved(bool errors) {
    m_errors = errors;
    m_host.SetStatus(FileTexts::Done);
    if (errors)
        m_host.appendStatus(FileTexts::ErrorsFound);
    if (!m_notBack.isEmpty())
        m_host.showMessage(notBackLines().join(QLatin1Char('\n')) + QLatin1Char('\n'), true);
}

bool SaveLoad::saveFile(const QString& fileName, const std::function<bool(QIODevice&)>& body) {
    ControlsScope controls(m_host);
    m_notBack.clear();
    m_errors = false;
    const QString name = QDir::toNativeSeparators(fileName);
    // Nothing replaces the earlier file before the new one is whole: say which one stays.
    const QString earlier = QFileInfo::exists(fileName) ? QStringLiteral("the earlier file is kept")
                                                        : QStringLiteral("no file was written");
    try {
        QSaveFile file(fileName);
        if (!file.open(QIODevice::WriteOnly))
            throw FileError(file.errorString());
        m_host.SetStatus(FileTexts::Writing);
        writeHeaderComments(file);
        const bool errors = body(file);
        if (!file.commit())
            throw FileError(file.errorString());
        reportSaved(errors);
        return true;
    } catch (const PortError& e) {
        // The file is sound; what was read of the head-end before the line went is not enough.
        m_host.showMessage(QStringLiteral("The line was lost while saving %1 (%2); %3.")
                               .arg(name, e.text(), earlier),
                           true);
    } catch (const OrvexError& e) {
        const auto* file = dynamic_cast<const FileError*>(&e);
        m_host.showMessage(
            QStringLiteral("%1 %2: %3; %4.")
                .arg(FileTexts::FileIOError, name, file ? file->reason() : e.text(), earlier),
            true);
    }
    return false;
}

bool SaveLoad::configBody(QIODevice& file, const KeptImage& kept, const KeptImage& silent) {
    bool errors = false;
    for (int g = 0; g < 2; ++g) {
        for (int s = 0; s < 16; ++s) {
            m_host.appendStatus(FileTexts::Mark);
            m_host.progress(g * 16 + s + 1, 32);
            const TModule* m = m_modules.at(s, g);
            if (m && m->TypeName != NotInstalledText) {
                errors = WriteModuleBlock(g, s, file, kept) || errors;
            } else if (const auto block = silent ? silent(g, s) : std::nullopt) {
                for (const QByteArray& line : *block)
                    writeLine(file, line);
                errors = true; // the module did not answer
            }
        }
    }
    return errors;
}

bool SaveLoad::SaveModuleFile(int subrack, int slot, const QString& fileName) {
    m_savedAs = fileName;
    // A block that holds an ERROR line cannot restore the module: not "Done." alone.
    return saveFile(fileName,
                    [&](QIODevice& file) { return WriteModuleBlock(subrack, slot, file); });
}

bool SaveLoad::SaveConfigFile(const QString& fileName) {
    // A line that stalled for a moment leaves slots empty that are not: a file holding modules
    // that did not answer now is not replaced by a smaller one.
    Compare::Blocks earlier;
    Compare::readFile(fileName, false, &earlier);
    const ModuleAddresses gone = Compare::missing(earlier, m_modules);
    m_savedAs = gone.isEmpty() ? fileName : besideName(fileName);
    const bool saved = saveFile(
        m_savedAs, [&](QIODevice& file) { return configBody(file, {}) || !gone.isEmpty(); });
    if (saved && !gone.isEmpty())
        m_host.showMessage(
            QStringLiteral("%1 is kept as it was: it holds %2, which did not answer now. This "
                           "save is %3.")
                .arg(QDir::toNativeSeparators(fileName), addressNames(gone),
                     QDir::toNativeSeparators(m_savedAs)),
            true);
    return saved;
}

bool SaveLoad::WriteConfig(QIODevice& file, const KeptImage& kept, const KeptImage& silent) {
    m_notBack.clear();
    writeHeaderComments(file);
    return configBody(file, kept, silent);
}
