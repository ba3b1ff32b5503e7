// What differs between the head-end and files: diff, backup, and the check after a verified
// load. Differences go to stdout (one line each, or JSON), status texts to stderr.
#include "cli/CliSession.h"

#include "files/Backups.h"
#include "files/FileTexts.h"
#include "files/SaveLoad.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QSaveFile>

namespace {

const QString kHeadend = QStringLiteral("head-end");
const QString kHeld = QStringLiteral("Verified: the modules hold the file's values.");

QJsonValue rawJson(std::optional<qint32> raw) {
    return raw ? QJsonValue(*raw) : QJsonValue();
}

QString outcomeName(Compare::ModuleDiff::Outcome o) {
    static const QStringList names = {QStringLiteral("same"),         QStringLiteral("onlyInA"),
                                      QStringLiteral("onlyInB"),      QStringLiteral("otherType"),
                                      QStringLiteral("otherVersion"), QStringLiteral("values"),
                                      QStringLiteral("image")};
    return names.value(o);
}

QJsonObject moduleJson(const Compare::ModuleDiff& d) {
    QJsonObject o{{QStringLiteral("module"), ModuleAddress{d.subrack, d.slot}.name()},
                  {QStringLiteral("subrack"), d.subrack + 1},
                  {QStringLiteral("slot"), d.slot + 1},
                  {QStringLiteral("outcome"), outcomeName(d.outcome)},
                  {QStringLiteral("typeA"), d.typeA},
                  {QStringLiteral("versionA"), d.versionA},
                  {QStringLiteral("typeB"), d.typeB},
                  {QStringLiteral("versionB"), d.versionB}};
    QJsonArray params;
    for (const Compare::ParamDiff& p : d.params) {
        QJsonObject po{{QStringLiteral("channel"), p.channel + 1},
                       {QStringLiteral("index"), p.index},
                       {QStringLiteral("parameter"), Compare::paramText(d, p)},
                       {QStringLiteral("a"), rawJson(p.a)},
                       {QStringLiteral("b"), rawJson(p.b)},
                       {QStringLiteral("shownA"), Compare::valueText(d, p.index, p.a)},
                       {QStringLiteral("shownB"), Compare::valueText(d, p.index, p.b)}};
        params << po;
    }
    if (d.outcome == Compare::ModuleDiff::Values)
        o[QStringLiteral("params")] = params;
    if (d.outcome == Compare::ModuleDiff::Image) {
        QJsonArray lines;
        for (int n : d.differingLines)
            lines << n;
        o[QStringLiteral("image")] = QJsonObject{{QStringLiteral("linesA"), d.linesA},
                                                 {QStringLiteral("linesB"), d.linesB},
                                                 {QStringLiteral("differingLines"), lines}};
    }
    return o;
}

// A file's blocks; a file a load would refuse ends the command.
Compare::Blocks readOrFail(const QString& file, bool moduleFile) {
    Compare::Blocks blocks;
    if (!Compare::readFile(file, moduleFile, &blocks))
        throw CliFailure{StatusUnusable,
                         QStringLiteral("%1: %2").arg(file, FileTexts::FileIOError)};
    return blocks;
}

QString differencesText(int n) {
    if (n == 0)
        return QStringLiteral("No differences.");
    return n == 1 ? QStringLiteral("1 difference.") : QStringLiteral("%1 differences.").arg(n);
}

} // namespace

bool CliSession::needsLine() const {
    ModuleAddress unused;
    const QStringList& a = m_options.args;
    const bool twoFiles = m_options.command == QLatin1String("diff") && a.size() == 2 &&
                          !ModuleAddress::parse(a.first(), &unused);
    return !twoFiles || !m_options.port.isEmpty();
}

int CliSession::printDiff(const Compare::Result& r, const Compare::Sides& sides, const QString& a,
                          const QString& b) {
    const QStringList lines = Compare::lines(r, sides);
    if (m_options.json) {
        QJsonArray modules;
        for (const Compare::ModuleDiff& d : r.modules)
            if (d.outcome != Compare::ModuleDiff::Same)
                modules << moduleJson(d);
        printJson({{QStringLiteral("a"), a},
                   {QStringLiteral("b"), b},
                   {QStringLiteral("differences"), r.differences()},
                   {QStringLiteral("lines"), QJsonArray::fromStringList(lines)},
                   {QStringLiteral("modules"), modules}});
    } else {
        for (const QString& line : lines)
            m_host.out(line);
        m_host.out(differencesText(r.differences()));
    }
    return r.differences() == 0 ? StatusDone : StatusModuleErrors;
}

int CliSession::diff() {
    const QStringList& args = m_options.args;
    ModuleAddress at;
    const bool module = args.size() == 2 && ModuleAddress::parse(args.first(), &at);
    if (args.size() == 2 && !module)
        return diffFiles(args.at(0), args.at(1));
    const QString& file = args.last();
    if (!module && Compare::isModuleFile(file))
        throw CliFailure{StatusUsage,
                         QStringLiteral("%1 is a module settings file: diff G/S FILE").arg(file)};
    const bool moduleFile = Compare::isModuleFile(file);
    Compare::Blocks fileBlocks = readOrFail(file, moduleFile);
    if (module && !moduleFile) // a configuration: the module's own block of it
        fileBlocks.removeIf([&at](const Compare::Block& b) {
            return b.subrack != at.subrack || b.slot != at.slot;
        });
    SaveLoad files(m_link, m_modules, m_state, m_host);
    if (module)
        probe(at);
    const Compare::Blocks live = liveSide(files, module ? &at : nullptr);
    const Compare::Result r =
        Compare::compare(fileBlocks, live, !module, Compare::describedBy(m_modules));
    return printDiff(r, {}, file, module ? at.name() : kHeadend);
}

Compare::Blocks CliSession::liveSide(SaveLoad& files, const ModuleAddress* module) {
    if (!module)
        runScan();
    Compare::Blocks live;
    {
        TransientStatus progress(m_host);
        if (module)
            live << Compare::liveBlock(files, m_modules, module->subrack, module->slot);
        else
            live = Compare::liveBlocks(files, m_modules);
    }
    m_host.finishStatus(false);
    return live;
}

int CliSession::diffFiles(const QString& a, const QString& b) {
    const Compare::Blocks blocksA = readOrFail(a, Compare::isModuleFile(a));
    const Compare::Blocks blocksB = readOrFail(b, Compare::isModuleFile(b));
    Compare::Describer describe;
    if (!m_options.port.isEmpty()) { // a head-end at hand names the parameters
        runScan();
        m_host.finishStatus(false);
        describe = Compare::describedBy(m_modules);
    }
    const bool byAddress = !(Compare::isModuleFile(a) && Compare::isModuleFile(b));
    const Compare::Result r = Compare::compare(blocksA, blocksB, byAddress, describe);
    return printDiff(r, Compare::Sides::files(a, b), a, b);
}

bool CliSession::verifyLoad(SaveLoad& files, const QString& file, const ModuleAddress* module) {
    const Compare::Blocks fileBlocks = readOrFail(file, module != nullptr);
    // A module was read back by the load; a head-end is scanned again.
    const Compare::Blocks live = liveSide(files, module);
    const Compare::Result r =
        Compare::compare(fileBlocks, live, module == nullptr, Compare::describedBy(m_modules));
    const bool held = Compare::reportUnapplied(m_host, r);
    m_host.finishStatus(true);
    if (held)
        m_host.out(kHeld);
    return held;
}

// What differs from the newest backup of folder, printed; true when it is the same.
bool CliSession::sameAsNewestBackup(const QString& folder, const Compare::Blocks& live) {
    const QString newest = Backups::newest(folder);
    Compare::Blocks old;
    if (newest.isEmpty()) {
        m_host.out(QStringLiteral("No backup in %1 yet.").arg(folder));
        return false;
    }
    if (!Compare::readFile(newest, false, &old)) {
        m_host.out(QStringLiteral("%1 cannot be read: %2").arg(newest, FileTexts::FileIOError));
        return false;
    }
    Compare::Sides sides;
    sides.a = QFileInfo(newest).fileName();
    sides.onlyB = QStringLiteral("not in ") + sides.a;
    const Compare::Result r = Compare::compare(old, live, true, Compare::describedBy(m_modules));
    if (r.differences() == 0) {
        m_host.out(QStringLiteral("Same as %1: nothing written.").arg(newest));
        return true;
    }
    for (const QString& line : Compare::lines(r, sides))
        m_host.out(line);
    return false;
}

int CliSession::backup() {
    const QString folder = m_options.args.at(0);
    if (!QDir().mkpath(folder))
        throw CliFailure{StatusUnusable,
                         QStringLiteral("The folder %1 cannot be made.").arg(folder)};
    scanForConfig();
    SaveLoad files(m_link, m_modules, m_state, m_host);
    QBuffer content; // the file a save would write now
    content.open(QIODevice::WriteOnly);
    bool errors = false;
    try {
        TransientStatus progress(m_host);
        errors = files.WriteConfig(content);
    } catch (const PortError&) {
        throw;
    } catch (const OrvexError& e) {
        throw CliFailure{StatusUnusable, e.text()};
    }
    m_host.finishStatus(false);
    Compare::Blocks live;
    if (!Compare::readBlocks(content.data(), false, &live))
        throw CliFailure{StatusUnusable, FileTexts::FileIOError};
    const int outcome = errors ? StatusModuleErrors : StatusDone;
    if (sameAsNewestBackup(folder, live))
        return outcome;
    const QString name = Backups::newName(folder, QDateTime::currentDateTime());
    QSaveFile out(name);
    if (!out.open(QIODevice::WriteOnly) || out.write(content.data()) != content.size() ||
        !out.commit())
        throw CliFailure{StatusUnusable,
                         QStringLiteral("%1: %2").arg(name, FileTexts::FileIOError)};
    m_host.out(QStringLiteral("%1 written.").arg(name));
    return outcome;
}
