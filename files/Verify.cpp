#include "files/Verify.h"

#include "files/FileTexts.h"

#include "link/LinkHost.h"

namespace Verify {

namespace {
// The blocks the load applied, in the order a comparison meets them with the modules.
Compare::Blocks applied(const Compare::Blocks& file, bool moduleFile, const LoadedModules& loaded) {
    if (loaded.written.isEmpty() || file.isEmpty())
        return {};
    if (moduleFile) { // every block went to the one module, the last one stays
        Compare::Block last = file.last();
        last.subrack = loaded.written.first().subrack;
        last.slot = loaded.written.first().slot;
        return {last};
    }
    Compare::Blocks out;
    for (const Compare::Block& b : file)
        if (loaded.written.contains(ModuleAddress{b.subrack, b.slot}))
            out << b;
    return out;
}
} // namespace

Outcome check(SaveLoad& files, const ModuleTable& modules, const Compare::Blocks& file,
              bool moduleFile, const LoadedModules& loaded) {
    Compare::Blocks live = Compare::headendBlocks(modules, loaded.written);
    Compare::readImages(files, live, loaded.images);
    const Compare::Result r = Compare::compare(applied(file, moduleFile, loaded), live, true,
                                               Compare::describedBy(modules));
    Outcome o;
    for (const Compare::ModuleDiff& d : r.modules) {
        const ModuleAddress at{d.subrack, d.slot};
        if (d.outcome == Compare::ModuleDiff::Same) {
            o.held << at;
        } else if (d.outcome == Compare::ModuleDiff::Values ||
                   d.outcome == Compare::ModuleDiff::Image) {
            o.notHeld << at;
        } else {
            o.unchecked << at;
            if (d.outcome == Compare::ModuleDiff::NotRead)
                o.lines << QStringLiteral("Module %1 image: not read back").arg(at.name());
        }
    }
    o.lines << Compare::lines(r) << files.notBackLines();
    o.notBack = files.notBack();
    return o;
}

bool report(LinkHost& host, const Outcome& outcome) {
    if (outcome.ok())
        return true;
    host.SetStatus(FileTexts::ErrorsFound);
    QString text;
    for (const QString& line : outcome.lines)
        text += line + QLatin1Char('\n');
    host.showMessage(text, true);
    return false;
}

} // namespace Verify
