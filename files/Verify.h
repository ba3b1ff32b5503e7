#pragma once

#include "files/Compare.h"
#include "files/SaveLoad.h"

class LinkHost;

// Whether a load took: after a load and the re-read of the modules it wrote to (a rescan, or
// the module read again), the file's blocks against what those modules hold now. Only the
// modules the load wrote to are looked at; their values come from the records, and an image is
// read back (which restarts that module once more) only where the load wrote one.
//
//   LoadedModules loaded;
//   files.LoadSettingsFile(name, true, &loaded);
//   ... rescan ...
//   const Verify::Outcome o = Verify::check(files, modules, fileBlocks, false, loaded);
//   Verify::report(host, o);
namespace Verify {

struct Outcome {
    ModuleAddresses held;      // hold every value and image line the load wrote
    ModuleAddresses notHeld;   // acknowledged a value or image line and do not hold it
    ModuleAddresses unchecked; // not found again as the file names them, or image not read
    ModuleAddresses notBack;   // silent after the reset that ended the image's read-back
    QStringList lines;         // one per value or image not held, one per other module
    bool ok() const { return notHeld.isEmpty() && unchecked.isEmpty() && notBack.isEmpty(); }
};

// moduleFile: the file was loaded into the one module of `loaded` (its last block counts).
Outcome check(SaveLoad& files, const ModuleTable& modules, const Compare::Blocks& file,
              bool moduleFile, const LoadedModules& loaded);
// Nothing when the load took; else the status " Errors found" and one message with the lines.
// True when it took.
bool report(LinkHost& host, const Outcome& outcome);

} // namespace Verify
