#pragma once

#include "files/Compare.h"

#include <QDialog>

class QCheckBox;
class QLabel;
class QPushButton;
class QTreeWidget;

// "Compare with file": what differs between a file and the head-end (or the current module),
// one row per difference, with "Load this file" at the bottom. It only shows a comparison
// made by the engine; loading is the main window's "Load Config" / "Load Module". EEPROM
// images are compared only when the user ticks the box that names the modules this restarts.
class TCompareFrm : public QDialog {
    Q_OBJECT
public:
    // The result of exec() when the user asked for the file to be loaded.
    static constexpr int LoadFile = 2;

    // against: what the file was compared with, e.g. "the head-end" or "module 1/6";
    // imageModules: the modules whose images the file holds, e.g. "1/9 NC-100" (empty: none).
    TCompareFrm(QWidget* parent, const QString& fileName, const QString& against,
                const Compare::Result& result, const QString& imageModules);
    // Shows another comparison of the same file (the one with the images read).
    void setResult(const Compare::Result& result);

    QLabel* lbSummary = nullptr;
    QTreeWidget* lvDiffs = nullptr;
    QCheckBox* cbImages = nullptr;
    QLabel* lbLoad = nullptr; // what "Load this file" writes and restarts
    QPushButton* btLoad = nullptr;
    QPushButton* btClose = nullptr;

Q_SIGNALS:
    // The box was ticked: the images are to be read (once) and compared.
    void imagesRequested();

private:
    QString m_file;
    QString m_against;
};
