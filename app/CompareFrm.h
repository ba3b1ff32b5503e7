#pragma once

#include "files/Compare.h"

#include <QDialog>

class QLabel;
class QPushButton;
class QTreeWidget;

// "Compare with file": what differs between a file and the head-end (or the current module),
// one row per difference, with "Load this file" at the bottom. It only shows a comparison
// made by the engine; loading is the main window's "Load Config" / "Load Module".
class TCompareFrm : public QDialog {
    Q_OBJECT
public:
    // The result of exec() when the user asked for the file to be loaded.
    static constexpr int LoadFile = 2;

    // against: what the file was compared with, e.g. "the head-end" or "module 1/6".
    TCompareFrm(QWidget* parent, const QString& fileName, const QString& against,
                const Compare::Result& result);

    QLabel* lbSummary = nullptr;
    QTreeWidget* lvDiffs = nullptr;
    QPushButton* btLoad = nullptr;
    QPushButton* btClose = nullptr;
};
