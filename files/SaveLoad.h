#pragma once

#include <QByteArrayList>
#include <QString>

class Link;
class LinkHost;
class ModuleTable;
class QIODevice;
struct SharedState;

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
// port does; the controls are enabled again and the progress indication hidden first.
class SaveLoad {
public:
    SaveLoad(Link& link, ModuleTable& modules, SharedState& state, LinkHost& host);

    // Writes the block of the module at (slot, subrack) to file; true when the block holds
    // an "ERROR" line. A block that cannot be written raises OrvexError.
    bool WriteModuleBlock(int subrack, int slot, QIODevice& file);
    // A module settings file of the module at (slot, subrack). False after "File I/O error."
    // (the earlier file, if any, is then left as it was).
    bool SaveModuleFile(int subrack, int slot, const QString& fileName);
    // A configuration file of every installed module of both subracks. False as above.
    bool SaveConfigFile(const QString& fileName);
    // What SaveConfigFile writes, into any device (a backup compares it before it is kept);
    // true when a block holds an "ERROR" line. A block that cannot be written raises
    // OrvexError.
    bool WriteConfig(QIODevice& file);
    // Applies the file: a configuration file (wholeConfig) to the addresses in its blocks, a
    // module settings file to the current module. A file that would stop with a file error on
    // the head-end as last scanned is refused before anything is sent. False after
    // "File I/O error." and when the user stopped it (after a whole block: see
    // LinkHost::stopRequested).
    bool LoadSettingsFile(const QString& fileName, bool wholeConfig);
    // After a module's reset: selects it until it answers, five more times at most, half a
    // second apart. True when it answered.
    bool AwaitRestart(int subrack, int slot);

private:
    class Expectation;
    class Loader;
    void writeLine(QIODevice& file, const QByteArray& line);
    void writeHeaderComments(QIODevice& file);
    bool writeImage(int subrack, int slot, QIODevice& file);
    // The image lines of a module in its special mode, or the one ERROR line standing for
    // them (*errors set then).
    QByteArrayList readImage(bool* errors);
    bool saveFile(const QString& fileName, bool (SaveLoad::*body)(QIODevice&, int, int),
                  int subrack, int slot);
    bool moduleBody(QIODevice& file, int subrack, int slot);
    bool configBody(QIODevice& file, int, int);
    // The load ended at the user's request before the blocks in `rest`: says which modules
    // were not loaded, after the errors found so far.
    void reportStopped(const QStringList& errors, const QList<QByteArray>& rest);

    Link& m_link;
    ModuleTable& m_modules;
    SharedState& m_state;
    LinkHost& m_host;
};
