#include "app/LineMonitorFrm.h"

#include "app/FileDialogs.h"
#include "app/LineFilter.h"
#include "app/Placement.h"
#include "module/ModuleAddress.h"
#include "panel/SatelliteWindow.h"
#include "panel/WindowFrame.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFile>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMoveEvent>
#include <QPushButton>
#include <QSaveFile>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

namespace {
constexpr int kFramingTries = 10;
constexpr int kFramingRetryMs = 50;
const QString kTraceFilter = QStringLiteral("Line traces (*.trace);;All files (*)");

// The frames of a trace file, named as they were on the line.
QList<LineFrame> readTrace(QFile& file) {
    QList<LineFrame> frames;
    LineDecoder decoder;
    LineFrame raw;
    while (!file.atEnd())
        if (LineObserver::parseLine(file.readLine(), &raw))
            frames << decoder.decode(raw);
    // The file ends: a command it holds no answer to got none.
    frames << decoder.settle(raw.msecs);
    return frames;
}
} // namespace

TLineMonitorFrm::TLineMonitorFrm(LineObserver& observer, QWidget* mainWindow)
    : QWidget(mainWindow, Qt::Window), m_main(mainWindow) {
    setObjectName(QStringLiteral("LineMonitorFrm"));
    setWindowTitle(QStringLiteral("Line monitor"));
    buildTools();
    buildFrames();
    layOut();
    connectControls();
    connect(&observer, &LineObserver::frame, this, &TLineMonitorFrm::onFrame);
    connect(&observer, &LineObserver::groupBegun, &m_line, &LineFrames::setTitle);
    connect(&observer, &LineObserver::groupEnded, this, &TLineMonitorFrm::groupEnded);
    m_main->installEventFilter(this);
    resize(m_main->frameGeometry().width(), m_height);
    updateCount();
}

void TLineMonitorFrm::buildTools() {
    btPause = new QPushButton(QStringLiteral("&Pause"), this);
    btPause->setCheckable(true);
    btClear = new QPushButton(QStringLiteral("C&lear"), this);
    btSave = new QPushButton(QStringLiteral("&Save trace…"), this);
    btOpen = new QPushButton(QStringLiteral("&Open trace…"), this);
    cbModule = new QComboBox(this);
    cbModule->addItem(QStringLiteral("All modules"), -1);
    for (int g = 0; g < 2; ++g)
        for (int s = 0; s < 16; ++s)
            cbModule->addItem(ModuleAddress{g, s}.name(), g * 32 + s);
    cbModule->addItem(QStringLiteral("special"), 16);
    cbKind = new QComboBox(this);
    cbKind->addItem(QStringLiteral("All kinds"), -1);
    for (int k = 0; k < FrameKindCount; ++k)
        cbKind->addItem(frameKindName(FrameKind(k)), k);
    chFollow = new QCheckBox(QStringLiteral("&Follow main window"), this);
    chFollow->setChecked(true);
    lbCount = new QLabel(this);
}

void TLineMonitorFrm::buildFrames() {
    m_filter = new LineFilter(this);
    m_filter->setFrames(&m_line);
    tvFrames = new QTreeView(this);
    tvFrames->setObjectName(QStringLiteral("tvFrames"));
    tvFrames->setModel(m_filter);
    tvFrames->setUniformRowHeights(true);
    tvFrames->setAlternatingRowColors(true);
    tvFrames->setRootIsDecorated(true);
    tvFrames->setTextElideMode(Qt::ElideRight);
    const int widths[LineFrames::Columns] = {124, 34, 18, 110, 56, 190, 40};
    for (int c = 0; c < LineFrames::Columns; ++c)
        tvFrames->setColumnWidth(c, widths[c]);
    connect(m_filter, &QAbstractItemModel::rowsAboutToBeInserted, this, [this] {
        const QScrollBar* bar = tvFrames->verticalScrollBar();
        m_atEnd = m_scrollPending || bar->value() == bar->maximum();
    });
    connect(m_filter, &QAbstractItemModel::rowsInserted, this, &TLineMonitorFrm::rowsShown);
}

void TLineMonitorFrm::layOut() {
    // As narrow as the main window, which it follows.
    auto* tools = new QHBoxLayout;
    for (QWidget* w :
         std::initializer_list<QWidget*>{btPause, btClear, btSave, btOpen, cbModule, cbKind})
        tools->addWidget(w);
    tools->addStretch(1);
    auto* footer = new QHBoxLayout;
    footer->addWidget(lbCount, 1);
    footer->addWidget(chFollow);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(3);
    layout->addLayout(tools);
    layout->addWidget(tvFrames, 1);
    layout->addLayout(footer);
}

void TLineMonitorFrm::connectControls() {
    connect(btPause, &QPushButton::toggled, this, [this](bool paused) {
        if (!paused && !m_source.isEmpty())
            showLine();
        m_missed = 0;
        updateCount();
    });
    connect(btClear, &QPushButton::clicked, this, &TLineMonitorFrm::clear);
    connect(btSave, &QPushButton::clicked, this, &TLineMonitorFrm::saveClick);
    connect(btOpen, &QPushButton::clicked, this, &TLineMonitorFrm::openClick);
    connect(cbModule, &QComboBox::currentIndexChanged, this, &TLineMonitorFrm::rebuild);
    connect(cbKind, &QComboBox::currentIndexChanged, this, &TLineMonitorFrm::rebuild);
    connect(chFollow, &QCheckBox::toggled, this, [this](bool on) {
        if (on)
            follow();
    });
}

void TLineMonitorFrm::onFrame(const LineFrame& frame) {
    // A trace shown is the user's reading, not a pause of the line: its frames are kept.
    if (m_source.isEmpty() && btPause->isChecked())
        ++m_missed;
    else
        m_line.append(frame);
    updateCount();
}

void TLineMonitorFrm::groupEnded(quint32 id) {
    m_ended = id;
    const QModelIndex last = m_filter->index(m_filter->rowCount() - 1, 0);
    if (m_filter->group(last) == id)
        tvFrames->collapse(last);
}

void TLineMonitorFrm::rowsShown(const QModelIndex& parent, int first, int last) {
    // Hidden, it is shown anew when it shows; a new filter's rows are shown anew at once.
    if (!isVisible() || m_refiltering)
        return;
    for (int r = first; r <= last; ++r) {
        const QModelIndex row = m_filter->index(r, 0, parent);
        if (!parent.isValid() && r > 0)
            tvFrames->collapse(m_filter->index(r - 1, 0));
        if (m_filter->hasChildren(row))
            tvFrames->expand(row);
        fitDelta(row);
    }
    // Once for the frames that come together: scrolling lays out every row.
    if (m_atEnd && !m_scrollPending) {
        m_scrollPending = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                m_scrollPending = false;
                tvFrames->scrollToBottom();
            },
            Qt::QueuedConnection);
    }
}

// The ms column grows to its widest text (a frame after a long quiet has many digits), with
// the margins the style gives a cell's text.
void TLineMonitorFrm::fitDelta(const QModelIndex& row) {
    const QModelIndex frame = m_filter->hasChildren(row) ? m_filter->index(0, 0, row) : row;
    const QString text = frame.siblingAtColumn(LineFrames::ColDelta).data().toString();
    const int margin = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, tvFrames) + 1;
    const int need = tvFrames->fontMetrics().horizontalAdvance(text) + 2 * margin;
    if (need > tvFrames->columnWidth(LineFrames::ColDelta))
        tvFrames->setColumnWidth(LineFrames::ColDelta, need);
}

void TLineMonitorFrm::rebuild() {
    m_refiltering = true;
    m_filter->setFilter(cbModule->currentData().toInt(), cbKind->currentData().toInt());
    m_refiltering = false;
    tvFrames->collapseAll();
    const int rows = m_filter->rowCount();
    for (int r = 0; r < rows; ++r) {
        const QModelIndex row = m_filter->index(r, 0);
        const int frames = m_filter->rowCount(row);
        for (int c = 0; c < frames; ++c)
            fitDelta(m_filter->index(c, 0, row));
        if (frames == 0)
            fitDelta(row);
    }
    // A group that is over shows folded.
    const QModelIndex last = m_filter->index(rows - 1, 0);
    if (m_filter->group(last) > m_ended)
        tvFrames->expand(last);
    tvFrames->scrollToBottom();
}

void TLineMonitorFrm::clear() {
    (m_source.isEmpty() ? m_line : m_trace).clear();
    m_missed = 0;
    updateCount();
}

void TLineMonitorFrm::showFrames(LineFrames& frames) {
    m_filter->setFrames(&frames);
    if (isVisible())
        rebuild();
}

void TLineMonitorFrm::showLine() {
    m_source.clear();
    showFrames(m_line);
    m_trace.clear();
    updateCount();
}

void TLineMonitorFrm::updateCount() {
    QString text =
        m_source.isEmpty()
            ? QStringLiteral("%1 frames kept (the last %2)")
                  .arg(m_line.size())
                  .arg(LineFrames::MaxFrames)
            : QStringLiteral("%1 frames of %2; the line's %3 frames are kept, back with Pause off")
                  .arg(m_trace.size())
                  .arg(m_source)
                  .arg(m_line.size());
    if (btPause->isChecked() && m_source.isEmpty())
        text += QStringLiteral("; paused, %1 frames not kept").arg(m_missed);
    lbCount->setText(text);
}

void TLineMonitorFrm::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    m_framingTries = 0;
    rebuild();
    if (chFollow->isChecked())
        follow();
}

bool TLineMonitorFrm::eventFilter(QObject* watched, QEvent* e) {
    // The satellites make the column it may have to sit above: watched from their first show.
    if (watched == m_main && e->type() == QEvent::ChildPolished)
        if (auto* s = qobject_cast<SatelliteWindow*>(static_cast<QChildEvent*>(e)->child()))
            s->installEventFilter(this);
    if (!chFollow->isChecked())
        return QWidget::eventFilter(watched, e);
    const QEvent::Type t = e->type();
    const bool satellite = watched != m_main && (t == QEvent::Show || t == QEvent::Hide);
    if ((t == QEvent::Move || t == QEvent::Resize || satellite) && isVisible())
        follow();
    // Following, it goes and comes back with the main window, as the other satellites do.
    if (watched == m_main && t == QEvent::WindowStateChange) {
        if (m_main->isMinimized() && isVisible()) {
            m_hiddenWithMain = true;
            hide();
        } else if (!m_main->isMinimized() && m_hiddenWithMain) {
            m_hiddenWithMain = false;
            show();
        }
    }
    return QWidget::eventFilter(watched, e);
}

QMargins TLineMonitorFrm::frameMargins() const {
    return QMargins(geometry().left() - frameGeometry().left(),
                    geometry().top() - frameGeometry().top(),
                    frameGeometry().right() - geometry().right(),
                    frameGeometry().bottom() - geometry().bottom());
}

int TLineMonitorFrm::columnTop() const {
    int top = m_main->frameGeometry().top();
    for (const SatelliteWindow* s :
         m_main->findChildren<SatelliteWindow*>(Qt::FindDirectChildrenOnly))
        if (s->isVisible())
            top = std::min(top, s->frameGeometry().top());
    return top;
}

void TLineMonitorFrm::follow() {
    const QRect area = m_main->screen()->availableGeometry();
    m_placedWith = frameMargins();
    const int wanted = m_height + m_placedWith.top() + m_placedWith.bottom();
    const QRect place = Placement::beside(m_main->frameGeometry(), columnTop(), wanted, area);
    // The window manager's frame is not ours to size: the frame goes to the place (move()
    // places the frame), the client inside it.
    const QSize client = place.size().shrunkBy(m_placedWith);
    m_placedSize = client;
    if (pos() != place.topLeft())
        move(place.topLeft());
    if (size() != client)
        resize(client);
    // Just shown, the window manager's frame is not known yet: placed again once it is (a
    // few tries; without a window manager there is none).
    if (m_placedWith.isNull() && isVisible() && m_framingTries < kFramingTries) {
        ++m_framingTries;
        QTimer::singleShot(kFramingRetryMs, this, [this] {
            if (chFollow->isChecked())
                follow();
        });
    }
}

void TLineMonitorFrm::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    // A height the user gave it (not one it was placed at) is the one it keeps from now on.
    if (e->spontaneous() && e->size() != m_placedSize && e->size().height() != m_height)
        m_height = e->size().height();
}

void TLineMonitorFrm::moveEvent(QMoveEvent* e) {
    QWidget::moveEvent(e);
    // The window manager framed the window after it was placed: placed again, frame and all.
    if (isVisible() && chFollow->isChecked() && frameMargins() != m_placedWith)
        follow();
}

bool TLineMonitorFrm::saveTrace(const QString& path, QString* error) const {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        *error = file.errorString();
        return false;
    }
    for (int i = 0; i < frames().size(); ++i) {
        const QByteArray line = LineObserver::formatLine(frames().at(i));
        if (!line.isEmpty())
            file.write(line + '\n');
    }
    if (!file.commit()) {
        *error = file.errorString();
        return false;
    }
    return true;
}

bool TLineMonitorFrm::openTrace(const QString& path, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return false;
    }
    btPause->setChecked(true);
    m_trace.assign(readTrace(file));
    m_source = path;
    m_missed = 0;
    showFrames(m_trace);
    updateCount();
    return true;
}

void TLineMonitorFrm::saveClick() {
    const QString path = FileDialogs::ask(
        this, {QStringLiteral("Save trace"), kTraceFilter, QStringLiteral("trace"), true});
    QString error;
    if (!path.isEmpty() && !saveTrace(path, &error))
        MessageDialog(this, windowTitle(),
                      QStringLiteral("The trace cannot be written to %1: %2").arg(path, error),
                      true)
            .exec();
}

void TLineMonitorFrm::openClick() {
    const QString path = FileDialogs::ask(
        this, {QStringLiteral("Open trace"), kTraceFilter, QStringLiteral("trace"), false});
    QString error;
    if (!path.isEmpty() && !openTrace(path, &error))
        MessageDialog(this, windowTitle(),
                      QStringLiteral("The trace %1 cannot be read: %2").arg(path, error), true)
            .exec();
}
