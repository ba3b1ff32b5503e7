#include "app/CompareFrm.h"

#include <QCheckBox>
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

QString summary(const QString& file, const QString& against, const Compare::Result& r) {
    const int n = r.differences();
    const QString count = n == 0   ? QStringLiteral("no differences")
                          : n == 1 ? QStringLiteral("1 difference")
                                   : QStringLiteral("%1 differences").arg(n);
    QString text = QStringLiteral("%1: %2 from %3.").arg(file, count, against);
    if (!r.notRead().isEmpty())
        text += QStringLiteral(" EEPROM images not compared.");
    return text;
}
} // namespace

TCompareFrm::TCompareFrm(QWidget* parent, const QString& fileName, const QString& against,
                         const Compare::Result& result, const QString& imageModules)
    : QDialog(parent), m_file(QFileInfo(fileName).fileName()), m_against(against) {
    setObjectName(QStringLiteral("CompareFrm"));
    setWindowTitle(QStringLiteral("Compare with file"));
    auto* layout = new QVBoxLayout(this);
    lbSummary = new QLabel(this);
    lbSummary->setToolTip(fileName);
    layout->addWidget(lbSummary);

    lvDiffs = new QTreeWidget(this);
    lvDiffs->setObjectName(QStringLiteral("lvDiffs"));
    lvDiffs->setRootIsDecorated(false);
    lvDiffs->setAlternatingRowColors(true);
    lvDiffs->setHeaderLabels({QStringLiteral("Module"), QStringLiteral("Parameter"),
                              QStringLiteral("File"), QStringLiteral("Module holds")});
    layout->addWidget(lvDiffs, 1);

    cbImages = new QCheckBox(
        QStringLiteral("Compare the EEPROM images too (reading an image restarts its module: %1)")
            .arg(imageModules),
        this);
    cbImages->setObjectName(QStringLiteral("cbImages"));
    cbImages->setVisible(!imageModules.isEmpty());
    layout->addWidget(cbImages);
    connect(cbImages, &QCheckBox::toggled, this, [this](bool on) {
        if (!on)
            return;
        cbImages->setEnabled(false); // read once: they stay compared
        Q_EMIT imagesRequested();
    });

    auto* buttons = new QHBoxLayout;
    lbLoad = new QLabel(this);
    lbLoad->setWordWrap(true);
    buttons->addWidget(lbLoad, 1);
    btLoad = new QPushButton(QStringLiteral("Load this file"), this);
    btClose = new QPushButton(QStringLiteral("Close"), this);
    btClose->setDefault(true);
    buttons->addWidget(btLoad);
    buttons->addWidget(btClose);
    layout->addLayout(buttons);
    connect(btLoad, &QPushButton::clicked, this, [this] { done(LoadFile); });
    connect(btClose, &QPushButton::clicked, this, &QDialog::reject);
    setResult(result);
    resize(kWidth, kHeight);
}

void TCompareFrm::setResult(const Compare::Result& result) {
    lbSummary->setText(summary(m_file, m_against, result));
    lvDiffs->clear();
    for (const Compare::Row& row : Compare::rows(result))
        new QTreeWidgetItem(lvDiffs, {row.module, row.what, row.a, row.b});
    for (int c = 0; c < lvDiffs->columnCount(); ++c)
        lvDiffs->resizeColumnToContents(c);
    // A load writes the modules that differ, no other; each one written restarts after it.
    const QString written = result.written();
    btLoad->setEnabled(!result.differing().isEmpty());
    lbLoad->setText(!btLoad->isEnabled() ? QStringLiteral("Nothing to load: no module differs.")
                    : written.isEmpty()  ? QStringLiteral("Loading writes no module; it names "
                                                           "those that do not fit the file.")
                                         : QStringLiteral("Loading writes only the modules that "
                                                           "differ; each restarts after it: %1.")
                                              .arg(written));
}
