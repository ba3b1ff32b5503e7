// What differs between the head-end and files: diff, backup, and the check after a verified
// load. Differences go to stdout (one line each, or JSON), status texts to stderr.
#include "cli/CliSession.h"

#include "files/Backups.h"
#include "files/FileFormat.h"
#include "files/FileTexts.h"
#include "files/SaveLoad.h"
#include "files/Verify.h"
#include "module/ModuleJson.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QSaveFile>

namespace {

const QString kHeadend = QStringLiteral("head-end");

QJsonValue rawJson(std::optional<qint32> raw) {
    return raw ? QJsonValue(*raw) : QJsonValue();
}

QString outcomeName(Compare::ModuleDiff::Outcome o) {
    static const QStringList names = {
        QStringLiteral("same"),      QStringLiteral("onlyInA"),      QStringLiteral("onlyInB"),
        QStringLiteral("otherType"), QStringLiteral("otherVersion"), QStringLiteral("values"),
        QStringLiteral("image"),     QStringLiteral("imageNotRead")};
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
                  {QStringLiteral("versionB"), d.versionB},
                  {QStringLiteral("multiChannel"), d.multiChannel}};
    // The rows of the comparison window; a module's values give one row per parameter, in
    // the order of params.
    Compare::Result alone;
    alone.modules << d;
    QJsonArray rows;
    for (const Compare::Row& row : Compare::rows(alone))
        rows << QJsonObject{{QStringLiteral("module"), row.module},
                            {QStringLiteral("what"), row.what},
                            {QStringLiteral("a"), row.a},
                            {QStringLiteral("b"), row.b}};
    o[QStringLiteral("rows")] = rows;
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
                   {QStringLiteral("modules"), modules},
                   // What a load of A would visit ([subrack, slot] from 0) and write to.
                   {QStringLiteral("differing"), ModuleJson::writeAddresses(r.differing())},
                   {QStringLiteral("written"), r.written()},
                   {QStringLiteral("notRead"), Compare::namedModules(m_modules, r.notRead())}});
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
    if (module) {
        probe(at);
    } else {
        runScan();
        m_host.finishStatus(false);
    }
    Compare::HeadendCompare comparison(m_modules, fileBlocks,
                                       module ? std::optional(at) : std::nullopt);
    const bool back = readImagesAsked(comparison);
    const Compare::Result r = comparison.result();
    const int outcome = printDiff(r, {}, file, module ? at.name() : kHeadend);
    if (!r.notRead().isEmpty())
        m_host.err(QStringLiteral("EEPROM images not compared: %1 (--images compares them; "
                                  "reading an image restarts its module).")
                       .arg(Compare::namedModules(m_modules, r.notRead())));
    return back ? outcome : StatusModuleErrors;
}

bool CliSession::readImagesAsked(Compare::HeadendCompare& comparison) {
    if (!m_options.images || comparison.images().isEmpty())
        return true;
    m_host.err(QStringLiteral("Reading the EEPROM images of %1: each of these modules restarts.")
                   .arg(comparison.imageModules()));
    QStringList notBack;
    {
        TransientStatus progress(m_host);
        notBack = m_session.readImages(comparison);
    }
    m_host.finishStatus(false);
    for (const QString& line : notBack)
        m_host.err(line);
    return notBack.isEmpty();
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

bool CliSession::verifyLoad(const LoadCheck& check) {
    readOrFail(check.file, check.moduleFile);
    if (!check.moduleFile) { // the module was read back after its load; a head-end is scanned again
        runScan();
        m_host.finishStatus(false);
    }
    std::optional<Verify::Outcome> outcome;
    {
        TransientStatus progress(m_host);
        outcome = m_session.verify(check);
    }
    m_host.finishStatus(false);
    if (!outcome) // changed while the head-end was scanned
        throw CliFailure{StatusUnusable,
                         QStringLiteral("%1: %2").arg(check.file, FileTexts::FileIOError)};
    const bool held = Verify::report(m_host, *outcome);
    m_host.finishStatus(true);
    if (held && outcome->held.isEmpty())
        m_host.out(QStringLiteral("Nothing to verify: the load wrote to no module."));
    else if (held)
        m_host.out(QStringLiteral("Verified: %1 hold the file's values.")
                       .arg(addressNames(outcome->held)));
    return held;
}

// What differs from the newest backup (`old`, read from `newest`), printed; true when it is
// the same.
bool CliSession::sameAsNewestBackup(const NewestBackup& newest, const Compare::Blocks& live) {
    if (!newest.blocks) {
        m_host.out(
            newest.file.isEmpty()
                ? QStringLiteral("No backup in %1 yet.").arg(m_options.args.at(0))
                : QStringLiteral("%1 cannot be read: %2").arg(newest.file, FileTexts::FileIOError));
        return false;
    }
    Compare::Sides sides;
    sides.a = QFileInfo(newest.file).fileName();
    sides.onlyB = QStringLiteral("not in ") + sides.a;
    const Compare::Result r = m_session.againstBackup(*newest.blocks, live);
    if (r.differences() == 0) {
        m_host.out(QStringLiteral("Same as %1: nothing written.").arg(newest.file));
        return true;
    }
    for (const QString& line : Compare::lines(r, sides))
        m_host.out(line);
    return false;
}

// backup --no-images: an image module's block takes the image the newest backup holds for
// the same module type and firmware at its address; without one it names the module only.
KeptImage CliSession::keptImages(const NewestBackup& newest) {
    return [this, newest](int g, int s) -> std::optional<QByteArrayList> {
        const Compare::Block live = Compare::recordBlock(*m_modules.at(s, g), g, s);
        const ModuleAddress at{g, s};
        for (const Compare::Block& b : newest.blocks.value_or(Compare::Blocks()))
            if (b.subrack == g && b.slot == s && b.image && !b.imageLines.isEmpty() &&
                b.type == live.type && b.version == live.version) {
                m_host.err(QStringLiteral("%1: EEPROM image not read, kept from %2.")
                               .arg(at.name(), QFileInfo(newest.file).fileName()));
                return b.imageLines;
            }
        m_host.err(QStringLiteral("%1: EEPROM image not read, and no backup holds it: the "
                                  "file names the module only.")
                       .arg(at.name()));
        return std::nullopt;
    };
}

// backup: a module of the newest backup that did not answer in this scan (nor when asked
// again) keeps its block from that backup, as it stands there.
KeptImage CliSession::silentModules(const QString& newest) {
    QFile file(newest);
    const QList<QByteArray> lines = !newest.isEmpty() && file.open(QIODevice::ReadOnly)
                                        ? FileFormat::splitLines(file.readAll())
                                        : QList<QByteArray>();
    return [this, newest, lines](int g, int s) -> std::optional<QByteArrayList> {
        for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
            const auto address =
                lines[i] == FileFormat::Mod ? FileFormat::headerFields(lines[i + 1]) : std::nullopt;
            if (!address || (*address)[0] != g || (*address)[1] != s)
                continue;
            const qsizetype end = lines.indexOf(FileFormat::ModEnd, i);
            if (end < 0)
                return std::nullopt;
            m_host.err(QStringLiteral("%1 did not answer: its block is kept from %2.")
                           .arg(ModuleAddress{g, s}.name(), QFileInfo(newest).fileName()));
            return lines.mid(i, end - i + 1);
        }
        return std::nullopt;
    };
}

int CliSession::backup() {
    const QString folder = m_options.args.at(0);
    if (!QDir().mkpath(folder))
        throw CliFailure{StatusUnusable,
                         QStringLiteral("The folder %1 cannot be made.").arg(folder)};
    const NewestBackup newest = NewestBackup::in(folder);
    // A module of the newest backup that is restarting is waited for, not taken as gone.
    scanForConfig(Compare::addresses(newest.blocks.value_or(Compare::Blocks())));
    SaveLoad files(m_link, m_modules, m_state, m_host);
    QBuffer content; // the file a save would write now
    content.open(QIODevice::WriteOnly);
    bool errors = false;
    try {
        TransientStatus progress(m_host);
        errors = files.WriteConfig(content, m_options.noImages ? keptImages(newest) : KeptImage(),
                                   silentModules(newest.file));
    } catch (const PortError&) {
        throw;
    } catch (const OrvexError& e) {
        throw CliFailure{StatusUnusable, e.text()};
    }
    m_host.finishStatus(false);
    for (const QString& line : files.notBackLines())
        m_host.err(line);
    Compare::Blocks live;
    if (!Compare::readBlocks(content.data(), false, &live))
        throw CliFailure{StatusUnusable, FileTexts::FileIOError};
    const int outcome = errors ? StatusModuleErrors : StatusDone;
    if (sameAsNewestBackup(newest, live))
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
