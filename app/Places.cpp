#include "app/Places.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>
#include <cstring>

bool Places::takeDataHomeSwitch(int& argc, char** argv) {
    bool found = false;
    int kept = 0;
    for (int i = 0; i < argc; ++i) {
        if (i > 0 && std::strcmp(argv[i], DataHomeSwitch) == 0)
            found = true;
        else
            argv[kept++] = argv[i];
    }
    argc = kept;
    argv[argc] = nullptr;
    return found;
}

bool Places::enterDataHome(QString* error) {
    const QString home = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    const QString folder = QDir(home).filePath(QStringLiteral("orvex-link"));
    if (home.isEmpty() || !QDir().mkpath(folder) || !QDir::setCurrent(folder)) {
        *error = QStringLiteral("The folder %1 cannot be made the working folder.").arg(folder);
        return false;
    }
    return true;
}

QString Places::installedData() {
    return QDir::cleanPath(
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral(ORVEX_BIN_TO_DATA)));
}

QStringList Places::helpFolders() {
    return {QDir::current().filePath(QStringLiteral("Help")),
            QDir(installedData()).filePath(QStringLiteral("Help"))};
}
