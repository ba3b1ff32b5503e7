#include "app/DiagFrm.h"

#include "panel/GradientCaption.h"

#include <QPlainTextEdit>
#include <QVBoxLayout>

TDiagFrm::TDiagFrm(QWidget* owner) : SatelliteWindow(owner, QColor(0, 128, 0), false) {
    setObjectName(QStringLiteral("DiagFrm"));
    setAttribute(Qt::WA_DeleteOnClose);
    captionBar()->setStartColor(QColor(0, 255, 255));
    auto* layout = new QVBoxLayout(content());
    layout->setContentsMargins(0, 0, 0, 0);
    mmDiag = new QPlainTextEdit(content());
    mmDiag->setObjectName(QStringLiteral("mmDiag"));
    mmDiag->setReadOnly(true);
    mmDiag->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    mmDiag->setFrameStyle(0);
    QPalette pal = mmDiag->palette();
    pal.setColor(QPalette::Base, QColor(0, 128, 0));
    pal.setColor(QPalette::Text, Qt::white);
    mmDiag->setPalette(pal);
    QFont f = mmDiag->font();
    f.setBold(true);
    f.setPixelSize(11);
    mmDiag->setFont(f);
    layout->addWidget(mmDiag);
    resize(461 + 2 * Border, outerHeightFor(31));
}
