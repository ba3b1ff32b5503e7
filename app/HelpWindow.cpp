#include "app/HelpWindow.h"

#include "app/Places.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextBrowser>
#include <QVBoxLayout>

HelpWindow::HelpWindow(QWidget* owner) : QWidget(owner, Qt::Window) {
    setObjectName(QStringLiteral("HelpWindow"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    browser = new QTextBrowser(this);
    browser->setOpenExternalLinks(false);
    layout->addWidget(browser);
    resize(760, 620);
}

bool HelpWindow::showFile(const QString& path, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("The help file %1 cannot be read: %2")
                     .arg(QDir::toNativeSeparators(path), file.errorString());
        return false;
    }
    browser->setHtml(QString::fromUtf8(file.readAll()));
    browser->document()->setMetaInformation(QTextDocument::DocumentUrl,
                                            QUrl::fromLocalFile(path).toString());
    setWindowTitle(browser->documentTitle().isEmpty() ? QStringLiteral("ORVEX Link Help")
                                                      : browser->documentTitle());
    return true;
}

QString helpFilePath(const QString& name, QString* error) {
    const QStringList folders = Places::helpFolders();
    for (const QString& folder : folders) {
        if (!QDir(folder).exists())
            continue;
        const QString path = QDir(folder).filePath(name);
        if (!QFile::exists(path)) {
            *error =
                QStringLiteral("The help file %1 is missing.").arg(QDir::toNativeSeparators(path));
            return {};
        }
        return path;
    }
    QStringList shown;
    for (const QString& folder : folders)
        shown << QDir::toNativeSeparators(QFileInfo(folder).absolutePath());
    *error = QStringLiteral("The help folder \"Help\" is missing in %1.")
                 .arg(shown.join(QStringLiteral(" and in ")));
    return {};
}
