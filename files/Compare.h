#pragma once

#include "module/ModuleAddress.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVector>
#include <functional>
#include <optional>

class ModuleTable;
class SaveLoad;
class TModule;

// What differs between a configuration or module settings file and the head-end, or between
// two files. Both sides are module blocks as the loader reads them: a file through the
// loader's own steps, the head-end as a save would write it now. A comparison therefore sees
// exactly what a load would apply. Nothing here writes to a module, and an image module's
// image is read (which restarts the module) only when the caller asks for it.
//
//   Compare::Blocks file;
//   if (Compare::readFile("headend.mmh", false, &file)) {
//       const Compare::Blocks live = Compare::headendBlocks(modules);
//       const Compare::Result r = Compare::compare(file, live, true,
//                                                  Compare::describedBy(modules));
//       for (const QString& line : Compare::lines(r)) ...
//   }
namespace Compare {

// One module block: its address line, type and version lines, and what a load would send.
struct Block {
    int subrack = 0;
    int slot = 0;
    int channels = 0;
    QByteArray type;
    QByteArray version;
    bool image = false;            // an "EEPROM" block
    QList<QVector<qint32>> values; // the value lines in order; line k belongs to channel k
    QList<QByteArray> imageLines;  // none when the image could not be read
    bool unread = false;           // an image module's image, not read: only type and version
};
using Blocks = QList<Block>;

// ".mst" in any letter case names a module settings file; anything else a configuration file.
bool isModuleFile(const QString& fileName);
// The blocks of a file's content; false when a load would stop on it with "File I/O error.".
bool readBlocks(const QByteArray& content, bool moduleFile, Blocks* out);
// The same for a file; false also when it cannot be read.
bool readFile(const QString& fileName, bool moduleFile, Blocks* out);

// The addresses of the blocks of a configuration file, in file order; those of them where
// no module is installed now, for `missing`.
ModuleAddresses addresses(const Blocks& blocks);
ModuleAddresses missing(const Blocks& blocks, const ModuleTable& modules);

// A module's block from its record, as a save writes it; nothing goes on the line. The image
// of an image module is in the module, not in the record: it is left unread.
Block recordBlock(const TModule& m, int subrack, int slot);
// The installed modules at `where` (without it, all of both subracks), from their records.
Blocks headendBlocks(const ModuleTable& modules,
                     const std::optional<ModuleAddresses>& where = std::nullopt);
// Reads the images of `which` into their blocks of `live` with the save's special commands;
// each module is reset at the end and waited for. A module no file can describe keeps its
// image unread.
void readImages(SaveLoad& files, Blocks& live, const ModuleAddresses& which);
// "1/9 NC-100, 2/3 RPR-4": the modules with their type, as the records name them.
QString namedModules(const ModuleTable& modules, const ModuleAddresses& which);

// A parameter value that differs; a side whose line is too short for it has none.
struct ParamDiff {
    int channel = 0; // the value line, 0 for the first channel
    int index = 0;   // the parameter
    std::optional<qint32> a;
    std::optional<qint32> b;
};

struct ModuleDiff {
    // NotRead: same type and version, an image not compared (not read from the module).
    enum Outcome { Same, OnlyA, OnlyB, OtherType, OtherVersion, Values, Image, NotRead };
    Outcome outcome = Same;
    int subrack = 0;
    int slot = 0;
    bool multiChannel = false;
    QString typeA, versionA, typeB, versionB;
    QList<ParamDiff> params;    // Values
    int linesA = 0, linesB = 0; // Image: line counts
    QList<int> differingLines;  // Image: 0-based, lines present on both sides
    // The record that names the parameters and shows their values; none for two files
    // compared without a scan.
    const TModule* description = nullptr;
};

struct Result {
    QList<ModuleDiff> modules; // every module compared, the same ones included
    // One per differing parameter, one per other module that differs.
    int differences() const;
    // The modules whose image was not compared.
    ModuleAddresses notRead() const;
    // The modules of A that differ from B (not those only in B, nor an image not compared):
    // what a load of A needs to visit.
    ModuleAddresses differing() const;
    // Those of them a load writes to (values or image lines, each then restarted), named with
    // their type: "1/6 LA-862, 1/9 NC-100".
    QString written() const;
};

// The record that describes a block: the module at the block's address when it has the
// block's type and version, else the first of the table that has them; nullptr when none.
using Describer = std::function<const TModule*(const Block&)>;
Describer describedBy(const ModuleTable& modules);

// A (the file, or the older file) against B (the head-end, or the newer file). byAddress:
// blocks meet by subrack and slot (configuration files); otherwise in order (module settings
// files). Values a load cannot set (read-only, information, the channel selector of a
// multi-channel module) are not compared where the description tells them apart.
Result compare(const Blocks& a, const Blocks& b, bool byAddress, const Describer& describe = {});

// A file against the head-end as the last scan read it, or against one module of it: the one
// comparison of the windows and the command line. The records are compared without a frame
// on the line; the images the file holds are compared only after readImages(), which
// restarts their modules.
class HeadendCompare {
public:
    // module: a module settings file, or one module's block of a configuration (file holds
    // that block only), against that module.
    HeadendCompare(const ModuleTable& modules, const Blocks& file,
                   const std::optional<ModuleAddress>& module = std::nullopt);
    // The image modules whose image the file holds (the same type and version at the same
    // place): those readImages() restarts.
    const ModuleAddresses& images() const { return m_images; }
    QString imageModules() const { return namedModules(m_modules, m_images); }
    // Reads those images, once; each module is waited for after its reset. The modules that
    // did not answer again are in files.notBack().
    void readImages(SaveLoad& files);
    Result result() const;

private:
    const ModuleTable& m_modules;
    Blocks m_file;
    Blocks m_live;
    bool m_byAddress;
    ModuleAddresses m_images;
};

// How the texts name the two sides.
struct Sides {
    QString a = QStringLiteral("file");
    QString b = QStringLiteral("module");
    QString holds = QStringLiteral("module holds"); // in front of B's value
    QString onlyA = QStringLiteral("slot empty now");
    QString onlyB = QStringLiteral("not in the file");
    // Two files, named as given.
    static Sides files(const QString& a, const QString& b);
};

// One line per difference, e.g. "Module 1/6 parameter 0 (Gain): file 30.0 dB, module holds
// 31.5 dB".
QStringList lines(const Result& r, const Sides& sides = {});

// One row of the comparison window: the module, what differs, A's side and B's side.
struct Row {
    QString module;
    QString what;
    QString a;
    QString b;
};
QList<Row> rows(const Result& r, const Sides& sides = {});

// "parameter 0 (Gain)", "channel 1 parameter 5 (Output level)" (channels counted from 1, as
// the modules show them; parameters by their index); without a name when there is no
// description.
QString paramText(const ModuleDiff& d, const ParamDiff& p);
// A value as the panel shows it, with units, when described; else the raw number; "-" for none.
QString valueText(const ModuleDiff& d, int index, std::optional<qint32> raw);

} // namespace Compare
