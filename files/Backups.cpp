#include "files/Backups.h"

#include <QDir>
#include <QFileInfo>

namespace Backups {

namespace {
const QString kPrefix = QStringLiteral("headend-");
const QString kSuffix = QStringLiteral(".mmh");
} // namespace

QString newName(const QString& folder, const QDateTime& when) {
    const QString base =
        kPrefix + when.toString(QStringLiteral("yyyyMMdd-HHmmss")); // no locale in a name
    const QDir dir(folder);
    QString name = base + kSuffix;
    for (int n = 2; QFileInfo::exists(dir.filePath(name)); ++n)
        name = base + QStringLiteral("-%1").arg(n) + kSuffix;
    return dir.filePath(name);
}

QString newest(const QString& folder) {
    const QDir dir(folder);
    QString best;
    // Base names compare in time order: "...-120000" < "...-120000-2" < "...-120001".
    for (const QFileInfo& f : dir.entryInfoList({kPrefix + QStringLiteral("*") + kSuffix},
                                                QDir::Files | QDir::Readable)) {
        const QString base = f.completeBaseName();
        if (best.isEmpty() || QFileInfo(best).completeBaseName() < base)
            best = f.filePath();
    }
    return best;
}

} // namespace Backups
