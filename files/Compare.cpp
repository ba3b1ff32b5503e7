// Comparing files and the head-end: both sides become module blocks through the loader's own
// steps, so a comparison reads a file exactly as a load would.
#include "files/Compare.h"

#include "files/FileFormat.h"
#include "files/LoadSteps.h"
#include "files/SaveLoad.h"

#include "link/Link.h"
#include "module/ModuleTable.h"

#include <QBuffer>
#include <QFile>

namespace Compare {

namespace {

constexpr int kSubracks = 2;
constexpr int kSlots = 16;

// The loader's steps with a target that takes every block as it stands: what a load would
// send is kept, nothing goes on the line. Only the lines a save writes where a type or version
// could not be stored fail their check, as they fail it against any module.
class BlockReader : public LoadSteps::Target {
public:
    BlockReader(Blocks& out, bool moduleFile) : m_out(out), m_moduleFile(moduleFile) {}
    // The address line about to be read (a module settings file goes to the current module
    // whatever address it names; the block keeps the address all the same).
    std::optional<std::array<qint32, 3>> address;

    bool currentModule(int& subrack, int& slot) override {
        if (!m_moduleFile || !address)
            return false;
        subrack = (*address)[0];
        slot = (*address)[1];
        return present(subrack, slot);
    }
    bool present(int subrack, int slot) override {
        Block block;
        block.subrack = subrack;
        block.slot = slot;
        m_out << block;
        return true;
    }
    bool typeMatches(int, int, const QByteArray& line) override {
        m_out.last().type = line;
        return line != FileFormat::BadTypeName;
    }
    bool versionMatches(int, int, const QByteArray& line) override {
        m_out.last().version = line;
        return line != FileFormat::BadVersion;
    }
    bool openImage() override {
        m_out.last().image = true;
        return true;
    }
    void writeValues(int, int, const QVector<qint32>& values) override {
        m_out.last().values << values;
    }
    QString writeImageLine(int, int, const QByteArray& line) override {
        m_out.last().imageLines << line;
        return QStringLiteral("00"); // taken at once
    }
    void finish(int, int) override {}
    void addError(const QString&) override {}
    void appendStatus(const QString&) override {}

private:
    Blocks& m_out;
    bool m_moduleFile;
};

bool installed(const TModule* m) {
    return m && m->TypeName != NotInstalledText;
}

// Values a load cannot set are not differences: read-only numbers, texts and buttons, and the
// channel selector, which every value line of a multi-channel module sets to its own channel.
bool compared(const ModuleDiff& d, int index) {
    if (d.multiChannel && index == 0)
        return false;
    if (!d.description || index >= d.description->Params.size())
        return true;
    const TParam& p = d.description->Params.at(index);
    const bool readOnly = p.Kind == KindNumericRO || p.Kind == KindInfo || p.Kind == KindTerminal ||
                          p.Kind == KindError;
    return !readOnly && !(p.Flags & FlagReadOnly);
}

void compareValues(const Block& a, const Block& b, ModuleDiff& d) {
    const qsizetype lines = qMax(a.values.size(), b.values.size());
    d.multiChannel = lines > 1;
    for (int k = 0; k < lines; ++k) {
        const QVector<qint32> va = a.values.value(k);
        const QVector<qint32> vb = b.values.value(k);
        for (int i = 0; i < qMax(va.size(), vb.size()); ++i) {
            if (!compared(d, i))
                continue;
            const std::optional<qint32> x = i < va.size() ? std::optional(va[i]) : std::nullopt;
            const std::optional<qint32> y = i < vb.size() ? std::optional(vb[i]) : std::nullopt;
            if (x != y)
                d.params << ParamDiff{k, i, x, y};
        }
    }
    d.outcome = d.params.isEmpty() ? ModuleDiff::Same : ModuleDiff::Values;
}

void compareImages(const Block& a, const Block& b, ModuleDiff& d) {
    d.linesA = int(a.imageLines.size());
    d.linesB = int(b.imageLines.size());
    for (int i = 0; i < qMin(d.linesA, d.linesB); ++i)
        if (a.imageLines[i] != b.imageLines[i])
            d.differingLines << i + 1;
    const bool same = d.differingLines.isEmpty() && d.linesA == d.linesB;
    d.outcome = same ? ModuleDiff::Same : ModuleDiff::Image;
}

ModuleDiff compareBlocks(const Block* a, const Block* b, const Describer& describe) {
    ModuleDiff d;
    const Block& shown = b ? *b : *a;
    d.subrack = shown.subrack;
    d.slot = shown.slot;
    if (a) {
        d.typeA = QString::fromLatin1(a->type);
        d.versionA = QString::fromLatin1(a->version);
    }
    if (b) {
        d.typeB = QString::fromLatin1(b->type);
        d.versionB = QString::fromLatin1(b->version);
    }
    if (!a || !b) {
        d.outcome = b ? ModuleDiff::OnlyB : ModuleDiff::OnlyA;
        return d;
    }
    if (a->type != b->type) {
        d.outcome = ModuleDiff::OtherType;
        return d;
    }
    if (a->version != b->version) {
        d.outcome = ModuleDiff::OtherVersion;
        return d;
    }
    d.description = describe ? describe(*b) : nullptr;
    if (a->unread || b->unread)
        d.outcome = ModuleDiff::NotRead;
    else if (a->image || b->image)
        compareImages(*a, *b, d);
    else
        compareValues(*a, *b, d);
    return d;
}

const Block* atAddress(const Blocks& blocks, int subrack, int slot) {
    for (const Block& block : blocks)
        if (block.subrack == subrack && block.slot == slot)
            return &block;
    return nullptr;
}

} // namespace

bool isModuleFile(const QString& fileName) {
    return fileName.endsWith(QLatin1String(".mst"), Qt::CaseInsensitive);
}

bool readBlocks(const QByteArray& content, bool moduleFile, Blocks* out) {
    const QList<QByteArray> lines = FileFormat::splitLines(content);
    if (LoadSteps::firstFileError(lines, !moduleFile) >= 0)
        return false;
    Blocks blocks;
    BlockReader reader(blocks, moduleFile);
    LoadSteps::Cursor cursor;
    for (const QByteArray& line : lines) {
        if (cursor.BlockState == 1)
            reader.address = FileFormat::headerFields(line);
        if (!LoadSteps::step(cursor, line, reader))
            return false;
    }
    *out = blocks;
    return true;
}

bool readFile(const QString& fileName, bool moduleFile, Blocks* out) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray content = file.readAll();
    return file.error() == QFileDevice::NoError && readBlocks(content, moduleFile, out);
}

ModuleAddresses addresses(const Blocks& blocks) {
    ModuleAddresses out;
    for (const Block& b : blocks)
        out << ModuleAddress{b.subrack, b.slot};
    return out;
}

ModuleAddresses missing(const Blocks& blocks, const ModuleTable& modules) {
    ModuleAddresses out = addresses(blocks);
    out.removeIf([&](const ModuleAddress& a) { return installed(modules.at(a.slot, a.subrack)); });
    return out;
}

Block recordBlock(const TModule& m, int subrack, int slot) {
    Block block;
    block.subrack = subrack;
    block.slot = slot;
    // As the save writes it: a text that would not read back stands as its ERROR line.
    const std::optional<QByteArray> type = FileFormat::storedLine(m.TypeName);
    const std::optional<QByteArray> version = FileFormat::storedLine(m.VersionText);
    block.type = type.value_or(FileFormat::BadTypeName);
    if (type)
        block.version = version.value_or(FileFormat::BadVersion);
    if (!type || !version)
        return block; // the block ends there
    block.image = m.InfoKind != InfoParam;
    block.unread = block.image;
    if (block.image || m.ParamCount <= 0)
        return block;
    for (int k = 0; k < qMin(m.ChannelCount, MaxChannels); ++k)
        if (const auto values = FileFormat::valueFields(FileFormat::valueLine(m, k)))
            block.values << *values;
    return block;
}

Blocks headendBlocks(const ModuleTable& modules, const std::optional<ModuleAddresses>& where) {
    Blocks out;
    for (int g = 0; g < kSubracks; ++g)
        for (int s = 0; s < kSlots; ++s)
            if (const TModule* m = modules.at(s, g);
                installed(m) && (!where || where->contains(ModuleAddress{g, s})))
                out << recordBlock(*m, g, s);
    return out;
}

void readImages(SaveLoad& files, Blocks& live, const ModuleAddresses& which) {
    for (Block& block : live) {
        if (!block.unread || !which.contains(ModuleAddress{block.subrack, block.slot}))
            continue;
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        try {
            // The dump ends in a reset, and the module is back before anything else is asked.
            files.WriteModuleBlock(block.subrack, block.slot, buffer);
        } catch (const PortError&) {
            throw;
        } catch (const OrvexError&) {
            continue; // a module no file can describe: its image stays unread
        }
        Blocks dumped;
        if (readBlocks(buffer.data(), true, &dumped) && dumped.size() == 1)
            block = dumped.first();
    }
}

QString namedModules(const ModuleTable& modules, const ModuleAddresses& which) {
    QStringList names;
    for (const ModuleAddress& a : which) {
        const TModule* m = modules.at(a.slot, a.subrack);
        names << (m ? a.name() + QLatin1Char(' ') + m->TypeName : a.name());
    }
    return names.join(QStringLiteral(", "));
}

HeadendCompare::HeadendCompare(const ModuleTable& modules, const Blocks& file,
                               const std::optional<ModuleAddress>& module)
    : m_modules(modules), m_file(file),
      m_live(
          headendBlocks(modules, module ? std::optional(ModuleAddresses{*module}) : std::nullopt)),
      m_byAddress(!module) {
    for (int i = 0; i < m_live.size(); ++i) {
        const Block& b = m_live[i];
        const Block* a = m_byAddress ? atAddress(m_file, b.subrack, b.slot)
                                     : (i < m_file.size() ? &m_file[i] : nullptr);
        if (b.unread && a && a->image && a->type == b.type && a->version == b.version)
            m_images << ModuleAddress{b.subrack, b.slot};
    }
}

void HeadendCompare::readImages(SaveLoad& files) {
    Compare::readImages(files, m_live, std::exchange(m_images, {}));
}

Result HeadendCompare::result() const {
    return compare(m_file, m_live, m_byAddress, describedBy(m_modules));
}

int Result::differences() const {
    int n = 0;
    for (const ModuleDiff& d : modules)
        if (d.outcome == ModuleDiff::Values)
            n += int(d.params.size());
        else if (d.outcome != ModuleDiff::Same && d.outcome != ModuleDiff::NotRead)
            ++n;
    return n;
}

ModuleAddresses Result::notRead() const {
    ModuleAddresses out;
    for (const ModuleDiff& d : modules)
        if (d.outcome == ModuleDiff::NotRead)
            out << ModuleAddress{d.subrack, d.slot};
    return out;
}

ModuleAddresses Result::differing() const {
    ModuleAddresses out;
    for (const ModuleDiff& d : modules)
        if (d.outcome != ModuleDiff::Same && d.outcome != ModuleDiff::NotRead &&
            d.outcome != ModuleDiff::OnlyB)
            out << ModuleAddress{d.subrack, d.slot};
    return out;
}

QString Result::written() const {
    QStringList out;
    for (const ModuleDiff& d : modules)
        if (d.outcome == ModuleDiff::Values || d.outcome == ModuleDiff::Image)
            out << ModuleAddress{d.subrack, d.slot}.name() + QLatin1Char(' ') + d.typeA;
    return out.join(QStringLiteral(", "));
}

Describer describedBy(const ModuleTable& modules) {
    return [&modules](const Block& block) -> const TModule* {
        const auto fits = [&block](const TModule* m) {
            return installed(m) && FileFormat::textLine(m->TypeName) == block.type &&
                   FileFormat::textLine(m->VersionText) == block.version;
        };
        if (const TModule* here = modules.at(block.slot, block.subrack); fits(here))
            return here;
        for (int g = 0; g < kSubracks; ++g)
            for (int s = 0; s < kSlots; ++s)
                if (fits(modules.at(s, g)))
                    return modules.at(s, g);
        return nullptr;
    };
}

Result compare(const Blocks& a, const Blocks& b, bool byAddress, const Describer& describe) {
    Result r;
    for (int i = 0; i < a.size(); ++i) {
        const Block* other =
            byAddress ? atAddress(b, a[i].subrack, a[i].slot) : (i < b.size() ? &b[i] : nullptr);
        r.modules << compareBlocks(&a[i], other, describe);
    }
    for (int j = 0; j < b.size(); ++j) {
        const bool met =
            byAddress ? atAddress(a, b[j].subrack, b[j].slot) != nullptr : j < a.size();
        if (!met)
            r.modules << compareBlocks(nullptr, &b[j], describe);
    }
    if (byAddress)
        std::stable_sort(r.modules.begin(), r.modules.end(),
                         [](const ModuleDiff& x, const ModuleDiff& y) {
                             return x.subrack * kSlots + x.slot < y.subrack * kSlots + y.slot;
                         });
    return r;
}

} // namespace Compare
