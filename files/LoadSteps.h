#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVector>

// The loader's state machine, one line at a time. It is run twice over a file: first against
// a target that answers every check both ways and sends nothing, to find a line that could
// stop the load with a file error on any path; then against the head-end.
namespace LoadSteps {

// BlockState: 0 outside a block, 1 "MOD" seen, 2 address known, 3 type matches, 4 version
// matches, 5 applying values, 6 applying an EEPROM image. subrack/slot: the block's address.
struct Cursor {
    int BlockState = 0;
    int subrack = 0;
    int slot = 0;
};

// What a step asks of the head-end and the user's screen.
class Target {
public:
    virtual ~Target() = default;
    // Address of the current module, addressed on the line, when the file is a module
    // settings file; false for a configuration file, whose blocks carry their own addresses.
    virtual bool currentModule(int& subrack, int& slot) = 0;
    // Whether the block at this address of a configuration file is to be applied at all; one
    // that is not is passed over without a frame or an error line.
    virtual bool wanted(int, int) { return true; }
    virtual bool present(int subrack, int slot) = 0;
    virtual bool typeMatches(int subrack, int slot, const QByteArray& line) = 0;
    virtual bool versionMatches(int subrack, int slot, const QByteArray& line) = 0;
    // Puts the module into its special mode and opens its image for writing.
    virtual bool openImage() = 0;
    virtual void writeValues(int subrack, int slot, const QVector<qint32>& values) = 0;
    // Sends one image line; the module's reply.
    virtual QString writeImageLine(int subrack, int slot, const QByteArray& line) = 0;
    // Resets the module and waits for it to answer again.
    virtual void finish(int subrack, int slot) = 0;
    virtual void addError(const QString& line) = 0;
    virtual void appendStatus(const QString& text) = 0;
};

// Runs one line of the file. False on a file error (an empty line, a field that must be an
// integer and is not); the cursor is then left as it was.
bool step(Cursor& c, const QByteArray& line, Target& target);

// The head-end's addresses: subracks 0-1, slots 0-15.
inline constexpr int Subracks = 2;
inline constexpr int SlotsPerSubrack = 16;

// Index of the first line at which loading these lines could stop with a file error; -1
// when there is none. wholeConfig: a configuration file. Without `known`, every answer of the
// modules is tried (the file loads on any head-end); with it, presence, type and version are
// answered as `known` answers them (what the records of the last scan tell, without a frame
// on the line), and only the special mode is tried both ways.
int firstFileError(const QList<QByteArray>& lines, bool wholeConfig, Target* known = nullptr);

} // namespace LoadSteps
