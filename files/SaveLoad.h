#pragma once

#include "files/FileTexts.h"
#include "module/Errors.h"
#include "module/ModuleAddress.h"

#include <QByteArrayList>
#include <QString>
#include <functional>
#include <optional>

class Link;
class LinkHost;
class ModuleTable;
class QIODevice;
struct SharedState;
class TModule;

// The modules a load wrote to (values or image lines), and those of them that took image
// lines: only there is an image worth reading back.
struct LoadedModules {
    ModuleAddresses written;
    ModuleAddresses images;
};

// The image lines that stand in a file for an image module's image that is not read (kept
// from an earlier file); none: the block names the module only.
using KeptImage = std::function<std::optional<QByteArrayList>(int subrack, int slot)>;

// Module settings files (*.mst) and head-end configuration files (*.mmh): saving the records
// and EEPROM images of the modules, and loading a file back onto the modules. One object per
// operation or per program; it keeps no state between calls. Status texts, message boxes,
// the progress indication, pauses and the enabling of the controls go through the host.
//
//   SaveLoad files(link, modules, state, host);
//   files.SaveConfigFile("headend.mmh");
//   files.LoadSettingsFile("headend.mmh", true);
//
// Errors of the port (PortError) that end a load reach the caller, as every failure of the
// port does, their text followed by the modules written so far; the controls are enabled again
// and the progress indication hidden first. A save that loses the line says so and returns false.
// Reading an image resets the module: the save waits until it answers again, and a module
// that does not is reported, so that no save ends "Done." before its modules are back.
// A file operation that cannot go on: what went wrong, for "File I/O error." and the file.
class FileError : public OrvexError {
public:
    explicit FileError(const QString& reason)
        : OrvexError(FileTexts::FileIOError + QLatin1Char(' ') + reason), m_reason(reason) {}
    const QString& reason() const { return m_reason; }

private:
    QString m_reason;
};

class SaveLoad {
public:
    SaveLoad(Link& link, ModuleTable& modules, SharedState& state, LinkHost& host);

    // Writes the block of the module at (slot, subrack) to file; true when the block holds
    // an "ERROR" line or the module was not back after its image read (see notBack()). A block that
    // cannot be written raises FileError. With `kept`, an image module's image is not read (nor
    // the module reset): kept's lines stand for it.
    bool WriteModuleBlock(int subrack, int slot, QIODevice& file, const KeptImage& kept = {});
    // A module settings file of the module at (slot, subrack). False after "File I/O error."
    // (with the file and the reason) or after the line was lost; the earlier file, if any, is
    // then left as it was, and the message says whether there is one.
    bool SaveModuleFile(int subrack, int slot, const QString& fileName);
    // A configuration file of every installed module of both subracks. False as above. Where
    // fileName holds a module that did not answer now, it is kept and the save goes beside it
    // (savedAs(), said in a message, " Errors found").
    bool SaveConfigFile(const QString& fileName);
    // The file the last save wrote, or tried to.
    QString savedAs() const { return m_savedAs; }
    // What SaveConfigFile writes, into any device (a backup compares it before it is kept);
    // true when a block holds an "ERROR" line or a module was not back after its image read.
    // A block that cannot be written raises FileError. `kept` as for WriteModuleBlock;
    // `silent` gives the whole block (MOD to MODEND) that stands for a slot the scan found
    // empty, where a module was expected: one silent for a moment is not recorded as gone.
    bool WriteConfig(QIODevice& file, const KeptImage& kept = {}, const KeptImage& silent = {});
    // Applies the file: a configuration file (wholeConfig) to the addresses in its blocks, a
    // module settings file to the current module. A file that would stop with a file error on
    // the head-end as last scanned is refused before anything is sent. False after
    // "File I/O error." and when the user stopped it (after a whole block: see
    // LinkHost::stopRequested). `loaded` gets the modules the load wrote to. With `only`, the
    // blocks of a configuration file at other addresses are passed over.
    bool LoadSettingsFile(const QString& fileName, bool wholeConfig,
                          LoadedModules* loaded = nullptr,
                          const std::optional<ModuleAddresses>& only = std::nullopt);
    // The modules whose image this object read and that did not answer after their reset.
    ModuleAddresses notBack() const { return m_notBack; }
    // One line for each of them: "Error: Module 1/9 not responding after its reset.".
    QStringList notBackLines() const;
    // The last save or load ended " Errors found": a block holds an "ERROR" line, a module was
    // not back after its image read, or a module refused part of the load.
    bool errorsFound() const { return m_errors; }

private:
    class Expectation;
    class Loader;
    void writeLine(QIODevice& file, const QByteArray& line);
    void writeHeaderComments(QIODevice& file);
    bool writeImage(int subrack, int slot, QIODevice& file);
    // The block's settings: the values, the image or what the caller kept of it; true when
    // the image could not be read whole.
    bool writeSettings(const TModule& m, int subrack, int slot, QIODevice& file,
                       const KeptImage& kept);
    // The image lines of a module in its special mode, or the one ERROR line standing for
    // them (*errors set then).
    QByteArrayList readImage(bool* errors);
    // The save's end: " Errors found" after errors, and a message naming the modules not back.
    void reportSaved(bool errors);
    bool saveFile(const QString& fileName, const std::function<bool(QIODevice&)>& body);
    bool configBody(QIODevice& file, const KeptImage& kept, const KeptImage& silent = {});
    // The load ended at the user's request before the blocks in `rest`: says which modules
    // were not loaded, after the errors found so far.
    void reportStopped(const QStringList& errors, const QList<QByteArray>& rest);

    Link& m_link;
    ModuleTable& m_modules;
    SharedState& m_state;
    LinkHost& m_host;
    ModuleAddresses m_notBack;
    QString m_savedAs;
    bool m_errors = false;
};
