#pragma once

#include <QDateTime>
#include <QString>

// The backups of a head-end in one folder: configuration files named
// headend-YYYYMMDD-HHMMSS.mmh after the local time they were taken, so that name order is
// time order.
namespace Backups {

// The name of a backup taken at `when` in folder; a name already taken within the same second
// gets "-2", "-3", ... so that it still sorts after the earlier one.
QString newName(const QString& folder, const QDateTime& when);
// The newest backup in folder, or an empty text when there is none.
QString newest(const QString& folder);

} // namespace Backups
