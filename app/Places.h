#pragma once

#include <QString>
#include <QStringList>

// Where the program keeps its files. Started from a shell it works in the current folder
// (its settings files "OXL.ini" and "OXLCom.ini" there, the help in "Help" below it); the menu
// entry starts it with --data-home, and it works in its own folder below the user's data home
// instead of the home folder itself. Installed, its help is in the data folder beside its
// bin folder.
namespace Places {
// The start switch of the menu entry.
inline constexpr char DataHomeSwitch[] = "--data-home";
// Takes the switch out of the arguments (the service switch /k keeps its place); true when
// it was there.
bool takeDataHomeSwitch(int& argc, char** argv);
// orvex-link below the user's data home ($XDG_DATA_HOME, else ~/.local/share), created when
// missing, made the current folder; false with *error when it cannot be.
bool enterDataHome(QString* error);
// The installed data folder: share/orvex-link beside the folder of the executable.
QString installedData();
// The folders searched for the help, in order: "Help" below the current folder, then below
// the installed data folder.
QStringList helpFolders();
} // namespace Places
