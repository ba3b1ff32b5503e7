#include "app/MessageLogFrm.h"

#include "app/FileDialogs.h"
#include "app/MessageLog.h"
#include "panel/WindowFrame.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QScrollBar>
#include <QTextBlock>
#include <QVBoxLayout>

TMessageLogFrm::TMessageLogFrm(MessageLog& log, QWidget* owner, std::function<QString()> port)
    : QWidget(owner, Qt::Window), m_log(log), m_port(std::move(port)) {
    setObjectName(QStringLiteral("MessageLogFrm"));
    setWindowTitle(QStringLiteral("Message log"));
    mmLog = new QPlainTextEdit(this);
    mmLog->setObjectName(QStringLiteral("mmLog"));
    mmLog->setReadOnly(true);
    mmLog->setLineWrapMode(QPlainTextEdit::NoWrap);
    mmLog->setMaximumBlockCount(MessageLog::MaxEntries * 4);
    mmLog->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    btSave = new QPushButton(QStringLiteral("&Save log…"), this);
    btClear = new QPushButton(QStringLiteral("C&lear"), this);
    auto* close = new QPushButton(QStringLiteral("&Close"), this);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btSave);
    buttons->addWidget(btClear);
    buttons->addStretch(1);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(mmLog, 1);
    layout->addLayout(buttons);
    connect(btSave, &QPushButton::clicked, this, &TMessageLogFrm::saveClick);
    connect(btClear, &QPushButton::clicked, &m_log, &MessageLog::clear);
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    connect(&m_log, &MessageLog::added, this,
            [this](const MessageLog::Entry& e) { append(e.line()); });
    connect(&m_log, &MessageLog::replaced, this, [this](const MessageLog::Entry& e) {
        // The last line grew: it takes the place of its earlier form.
        if (!isVisible())
            return;
        const bool atEnd = shownToEnd();
        QTextCursor last(mmLog->document()->lastBlock());
        last.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
        last.insertText(e.line());
        if (atEnd)
            scrollToEnd();
    });
    connect(&m_log, &MessageLog::cleared, mmLog, &QPlainTextEdit::clear);
    resize(640, 360);
}

void TMessageLogFrm::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    refill();
}

void TMessageLogFrm::refill() {
    mmLog->setPlainText(m_log.text().chopped(m_log.entries().isEmpty() ? 0 : 1));
    mmLog->verticalScrollBar()->setValue(mmLog->verticalScrollBar()->maximum());
}

void TMessageLogFrm::append(const QString& line) {
    if (!isVisible())
        return; // filled from the log when shown
    const bool atEnd = shownToEnd();
    mmLog->appendPlainText(line);
    if (atEnd)
        scrollToEnd();
}

bool TMessageLogFrm::shownToEnd() const {
    const QScrollBar* bar = mmLog->verticalScrollBar();
    return bar->value() == bar->maximum();
}

void TMessageLogFrm::scrollToEnd() {
    // The text is laid out later, and the scroll bar's range grows only then.
    QMetaObject::invokeMethod(
        this,
        [this] {
            QScrollBar* bar = mmLog->verticalScrollBar();
            bar->setValue(bar->maximum());
        },
        Qt::QueuedConnection);
}

bool TMessageLogFrm::saveTo(const QString& path, QString* error) const {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(m_log.text(m_port()).toUtf8()) < 0 ||
        !file.commit()) {
        *error = file.errorString();
        return false;
    }
    return true;
}

void TMessageLogFrm::saveClick() {
    const QString path =
        FileDialogs::ask(this, {QStringLiteral("Save message log"),
                                QStringLiteral("Text files (*.txt)"), QStringLiteral("txt"), true});
    QString error;
    if (!path.isEmpty() && !saveTo(path, &error))
        MessageDialog(this, windowTitle(),
                      QStringLiteral("The log cannot be written to %1: %2").arg(path, error), true)
            .exec();
}
