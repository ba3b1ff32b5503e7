#include "app/CompareFrm.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {
constexpr int kWidth = 720;
constexpr int kHeight = 320;

QString summary(const QString& file, const QString& against, int differences) {
    if (differences == 0)
        return QStringLiteral("%1: no differences from %2.").arg(file, against);
    return (differences == 1 ? QStringLiteral("%1: 1 difference from %2.")
                             : QStringLiteral("%1: %3 differences from %2."))
        .arg(file, against)
        .arg(differences);
}
} // namespace

TCompareFrm::TCompareFrm(QWidget* parent, const QString& fileName, const QString& against,
                         const Compare::Result& result)
    : QDialog(parent) {
    setObjectName(QStringLiteral("CompareFrm"));
    setWindowTitle(QStringLiteral("Compare with file"));
    auto* layout = new QVBoxLayout(this);
    lbSummary =
        new QLabel(summary(QFileInfo(fileName).fileName(), against, result.differences()), this);
    lbSummary->setToolTip(fileName);
    layout->addWidget(lbSummary);

    lvDiffs = new QTreeWidget(this);
    lvDiffs->setObjectName(QStringLiteral("lvDiffs"));
    lvDiffs->setRootIsDecorated(false);
    lvDiffs->setAlternatingRowColors(true);
    lvDiffs->setHeaderLabels({QStringLiteral("Module"), QStringLiteral("Parameter"),
                              QStringLiteral("File"), QStringLiteral("Module holds")});
    for (const Compare::Row& row : Compare::rows(result))
        new QTreeWidgetItem(lvDiffs, {row.module, row.what, row.a, row.b});
    for (int c = 0; c < lvDiffs->columnCount(); ++c)
        lvDiffs->resizeColumnToContents(c);
    layout->addWidget(lvDiffs, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    btLoad = new QPushButton(QStringLiteral("Load this file"), this);
    btClose = new QPushButton(QStringLiteral("Close"), this);
    btClose->setDefault(true);
    buttons->addWidget(btLoad);
    buttons->addWidget(btClose);
    layout->addLayout(buttons);
    connect(btLoad, &QPushButton::clicked, this, [this] { done(LoadFile); });
    connect(btClose, &QPushButton::clicked, this, &QDialog::reject);
    resize(kWidth, kHeight);
}
