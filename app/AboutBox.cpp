#include "app/AboutBox.h"

#include "app/Artwork.h"

#include <QLabel>
#include <QPushButton>

QString versionText(int major, int minor, int release) {
    return QStringLiteral("%1 .%2 .%3").arg(major).arg(minor).arg(release);
}

QString TfrmAbout::buildVersionText() {
#ifdef ORVEX_VERSION_MAJOR
    return versionText(ORVEX_VERSION_MAJOR, ORVEX_VERSION_MINOR, ORVEX_VERSION_PATCH);
#else
    return {};
#endif
}

TfrmAbout::TfrmAbout(QWidget* owner, const QString& version) : FramedDialog(owner, Qt::white) {
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral(" ORVEX Link"));
    setContentSize(QSize(201, 141));
    imgAbout = new QLabel(content());
    imgAbout->setGeometry(0, 0, 200, 80);
    imgAbout->setPixmap(orvexPicture());
    lbVersion = new QLabel(content());
    lbVersion->setObjectName(QStringLiteral("lbVersion"));
    QFont bold = lbVersion->font();
    bold.setBold(true);
    lbVersion->setFont(bold);
    lbVersion->setText(QStringLiteral("  Vers. ") +
                       (version.isEmpty() ? QStringLiteral("Vers. Info not available") : version));
    lbVersion->adjustSize();
    lbVersion->move(201 / 2 - lbVersion->width() / 2, 88);
    btClose = new QPushButton(QStringLiteral("Close"), content());
    btClose->setGeometry(66, 112, 76, 25);
    btClose->setDefault(true);
    connect(btClose, &QPushButton::clicked, this, &QDialog::accept);
    hide();
}
