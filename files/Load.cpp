// Loading: a file is read whole and checked against the grammar before anything goes on the
// line, so a file that would stop half-way never leaves a head-end half configured. Then
// each block is checked against its module (presence, type, firmware) and applied.
#include "files/ControlsScope.h"
#include "files/FileFormat.h"
#include "files/FileTexts.h"
#include "files/LoadSteps.h"
#include "files/SaveLoad.h"

#include "link/HeadendScan.h"
#include "link/Link.h"
#include "link/LinkHost.h"
#include "link/SharedState.h"
#include "module/ModuleTable.h"
#include "module/Protocol.h"

#include <QFile>
#include <QScopeGuard>

namespace {
constexpr int kSettleMs = 1000; // after the last block, before the result is shown

void note(ModuleAddresses& list, int subrack, int slot) {
    if (!list.contains(ModuleAddress{subrack, slot}))
        list << ModuleAddress{subrack, slot};
}

// The line went in the middle of a load: which modules hold what the file gave them, and the
// one whose block was cut short.
QString lostLine(const LoadedModules& loaded, const LoadSteps::Cursor& at) {
    if (loaded.written.isEmpty())
        return QStringLiteral("Loading stopped when the line was lost; nothing was written.");
    QStringList names;
    for (const ModuleAddress& a : loaded.written)
        names << a.name();
    const bool inBlock = at.BlockState == 5 || at.BlockState == 6;
    if (inBlock && loaded.written.last() == ModuleAddress{at.subrack, at.slot})
        names.last() += QStringLiteral(" (in part)");
    return QStringLiteral("Loading stopped when the line was lost; written to: %1.")
        .arg(names.join(QStringLiteral(", ")));
}
} // namespace

// What the records of the last scan tell of the head-end, without a frame on the line: the
// answers a load is expected to get. The file is checked against them before anything is sent.
class SaveLoad::Expectation : public LoadSteps::Target {
public:
    Expectation(SaveLoad& owner, bool wholeConfig) : m_o(owner), m_wholeConfig(wholeConfig) {}

    bool currentModule(int& subrack, int& slot) override {
        if (m_wholeConfig)
            return false;
        subrack = m_o.m_state.CurSubrack;
        slot = m_o.m_state.CurSlot;
        return true;
    }
    bool present(int subrack, int slot) override {
        const TModule* m = m_o.m_modules.at(slot, subrack);
        return m && m->TypeName != NotInstalledText;
    }
    bool typeMatches(int subrack, int slot, const QByteArray& line) override {
        const TModule* m = m_o.m_modules.at(slot, subrack);
        return m && m->TypeName == QString::fromLatin1(line);
    }
    bool versionMatches(int subrack, int slot, const QByteArray& line) override {
        const TModule* m = m_o.m_modules.at(slot, subrack);
        return m && m->VersionText == QString::fromLatin1(line);
    }
    bool openImage() override { return true; }
    void writeValues(int, int, const QVector<qint32>&) override {}
    QString writeImageLine(int, int, const QByteArray&) override { return {}; }
    void finish(int, int) override {}
    void addError(const QString&) override {}
    void appendStatus(const QString&) override {}

protected:
    SaveLoad& m_o;
    bool m_wholeConfig;
};

// The head-end side of the loader's steps.
class SaveLoad::Loader : public Expectation {
public:
    Loader(SaveLoad& owner, bool wholeConfig, const std::optional<ModuleAddresses>& only)
        : Expectation(owner, wholeConfig), m_only(only) {}

    bool wanted(int subrack, int slot) override {
        return !m_only || m_only->contains(ModuleAddress{subrack, slot});
    }
    bool currentModule(int& subrack, int& slot) override {
        if (!Expectation::currentModule(subrack, slot))
            return false;
        // Commands go to the module selected last, which need not be this one (another
        // module may have been addressed since, or this one reset): address it first. Its
        // answer is not a condition here.
        m_o.m_link.SelectRecord(subrack, slot);
        return true;
    }
    bool present(int subrack, int slot) override { return m_o.m_link.SelectModule(subrack, slot); }
    bool openImage() override {
        if (!m_o.m_link.EnterSpecMode())
            return false;
        m_o.m_link.SendSpecCmd(QLatin1String(Protocol::ImageWrite.code));
        return true;
    }
    void writeValues(int subrack, int slot, const QVector<qint32>& values) override {
        note(Loaded.written, subrack, slot);
        for (int n = 0; n < values.size(); ++n) {
            m_o.m_link.WriteValue(n, values[n]);
            m_o.m_link.CommitEEPROM(slot, subrack);
        }
    }
    QString writeImageLine(int subrack, int slot, const QByteArray& line) override {
        note(Loaded.written, subrack, slot);
        note(Loaded.images, subrack, slot);
        return m_o.m_link.SendSpecCmd(QLatin1String(Protocol::ImageWriteLine.code) +
                                      QString::fromLatin1(line));
    }
    void finish(int subrack, int slot) override {
        m_o.m_link.SelectModule(subrack, slot);
        m_o.m_link.ResetModule();
        AwaitRestart(m_o.m_link, m_o.m_host, subrack, slot);
    }
    void addError(const QString& line) override { LoadErrors << line; }
    void appendStatus(const QString& text) override { m_o.m_host.appendStatus(text); }

    QStringList LoadErrors; // one line per problem found, shown together at the end
    LoadedModules Loaded;

private:
    std::optional<ModuleAddresses> m_only;
};

void SaveLoad::reportStopped(const QStringList& errors, const QList<QByteArray>& rest) {
    QStringList left;
    for (int i = 0; i + 1 < rest.size(); ++i) {
        const auto address =
            rest[i] == FileFormat::Mod ? FileFormat::headerFields(rest[i + 1]) : std::nullopt;
        if (address)
            left << QStringLiteral("%1/%2")
                        .arg(qint64((*address)[0]) + 1)
                        .arg(qint64((*address)[1]) + 1);
    }
    m_host.SetStatus(FileTexts::LoadStopped);
    QString text =
        errors.isEmpty() ? QString() : errors.join(QLatin1Char('\n')) + QLatin1Char('\n');
    text += left.isEmpty() ? FileTexts::LoadStopped
                           : QStringLiteral("%1 Not loaded: %2.")
                                 .arg(FileTexts::LoadStopped, left.join(QStringLiteral(", ")));
    m_host.showMessage(text, true);
}

bool SaveLoad::LoadSettingsFile(const QString& fileName, bool wholeConfig, LoadedModules* loaded,
                                const std::optional<ModuleAddresses>& only) {
    m_host.SetStatus(FileTexts::Loading);
    m_errors = false;
    ControlsScope controls(m_host);
    QFile file(fileName);
    bool readable = file.open(QIODevice::ReadOnly);
    const QByteArray content = readable ? file.readAll() : QByteArray();
    readable = readable && file.error() == QFileDevice::NoError;
    file.close();
    const QList<QByteArray> lines = FileFormat::splitLines(content);
    // A file that would stop half-way on this head-end is refused before anything is sent. A
    // malformed line in a block that the head-end refuses (no such module, another type) is
    // never read, so such a file is loaded like any other.
    Expectation expected(*this, wholeConfig);
    if (!readable || LoadSteps::firstFileError(lines, wholeConfig, &expected) >= 0) {
        m_host.showMessage(FileTexts::FileIOError, true);
        return false;
    }
    Loader loader(*this, wholeConfig, only);
    LoadSteps::Cursor cursor;
    // What was written stays written, however the load ends.
    const auto report = qScopeGuard([&] {
        if (loaded)
            *loaded = loader.Loaded;
    });
    for (int i = 0; i < lines.size(); ++i) {
        if (cursor.BlockState == 0 && m_host.stopRequested()) {
            reportStopped(loader.LoadErrors, lines.mid(i));
            return false;
        }
        m_host.progress(i + 1, int(lines.size()));
        bool stepped = false;
        try {
            stepped = LoadSteps::step(cursor, lines[i], loader);
        } catch (const PortError& e) {
            throw PortError(e.text() + QLatin1Char('\n') + lostLine(loader.Loaded, cursor));
        }
        // Only a head-end that has changed since its scan (a module put in) leads here.
        if (!stepped) {
            m_host.showMessage(FileTexts::FileIOError, true);
            return false;
        }
    }
    m_host.pause(kSettleMs);
    m_errors = !loader.LoadErrors.isEmpty();
    if (!m_errors) {
        m_host.SetStatus(FileTexts::Done);
    } else {
        m_host.SetStatus(FileTexts::ErrorsFound);
        QString text;
        for (const QString& line : std::as_const(loader.LoadErrors))
            text += line + QLatin1Char('\n');
        m_host.showMessage(text, true);
    }
    m_state.ReloadRequest = false;
    return true;
}
