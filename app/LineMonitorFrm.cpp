#include "app/LineMonitorFrm.h"

#include "app/FileDialogs.h"
#include "app/Placement.h"
#include "module/LineText.h"
#include "module/ModuleAddress.h"
#include "panel/SatelliteWindow.h"
#include "panel/WindowFrame.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QEvent>
#include <QFile>
#include <QFontDatabase>
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
#include <QTreeWidget>
#include <QVBoxLayout>
#include <utility>

namespace {
constexpr int kNumberRole = Qt::UserRole;    // the frame's number, on a frame's row
constexpr int kGroupRole = Qt::UserRole + 1; // the group's id, on a group's row
constexpr int kFramingTries = 10;
constexpr int kFramingRetryMs = 50;
const QString kTraceFilter = QStringLiteral("Line traces (*.trace);;All files (*)");

using LineText::timeText;

QString moduleText(const LineFrame& f) {
    if (f.subrack < 0)
        return {};
    return f.slot == 16 ? QStringLiteral("special") : ModuleAddress{f.subrack, f.slot}.name();
}
} // namespace

TLineMonitorFrm::TLineMonitorFrm(LineObserver& observer, QWidget* mainWindow)
    : QWidget(mainWindow, Qt::Window), m_main(mainWindow) {
    setObjectName(QStringLiteral("LineMonitorFrm"));
    setWindowTitle(QStringLiteral("Line monitor"));
    buildControls();
    connect(&observer, &LineObserver::frame, this, &TLineMonitorFrm::onFrame);
    connect(&observer, &LineObserver::groupBegun, this,
            [this](quint32 id, const QString& title) { m_groupTitles.insert(id, title); });
    connect(&observer, &LineObserver::groupEnded, this, [this](quint32 id) {
        if (m_openGroup && m_openGroupId == id)
            m_openGroup->setExpanded(false);
        m_ended = id;
    });
    m_main->installEventFilter(this);
    resize(m_main->frameGeometry().width(), m_height);
    updateCount();
}

void TLineMonitorFrm::buildControls() {
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
    tvFrames = new QTreeWidget(this);
    tvFrames->setObjectName(QStringLiteral("tvFrames"));
    tvFrames->setHeaderLabels({QStringLiteral("Time"), QStringLiteral("ms"), QString(),
                               QStringLiteral("Bytes"), QStringLiteral("Text"),
                               QStringLiteral("Meaning"), QStringLiteral("Module")});
    tvFrames->setUniformRowHeights(true);
    tvFrames->setAlternatingRowColors(true);
    tvFrames->setRootIsDecorated(true);
    tvFrames->setTextElideMode(Qt::ElideRight);
    const int widths[Columns] = {124, 34, 18, 110, 56, 190, 40};
    for (int c = 0; c < Columns; ++c)
        tvFrames->setColumnWidth(c, widths[c]);
    lbCount = new QLabel(this);
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
    if (!m_source.isEmpty()) {
        m_line.push_back(frame);
        if (m_line.size() > MaxFrames)
            m_line.pop_front();
        updateCount();
        return;
    }
    if (btPause->isChecked()) {
        ++m_missed;
        updateCount();
        return;
    }
    keep(frame);
}

void TLineMonitorFrm::keep(const LineFrame& frame) {
    m_frames.push_back(frame);
    const quint64 number = m_first + m_frames.size() - 1;
    if (isVisible() && passes(frame))
        addRow(frame, number);
    m_lastMsecs = frame.msecs;
    if (m_frames.size() > MaxFrames) {
        m_frames.pop_front();
        dropOldest(m_first++);
    }
    updateCount();
}

bool TLineMonitorFrm::passes(const LineFrame& frame) const {
    const int module = cbModule->currentData().toInt();
    const int kind = cbKind->currentData().toInt();
    if (kind >= 0 && int(frame.kind) != kind)
        return false;
    if (module == 16)
        return frame.slot == 16;
    return module < 0 || frame.addressed(module / 32, module % 32);
}

void TLineMonitorFrm::addRow(const LineFrame& f, quint64 number) {
    QScrollBar* bar = tvFrames->verticalScrollBar();
    const bool atEnd = bar->value() == bar->maximum();
    auto* item = new QTreeWidgetItem;
    const QString dir = f.dir == '>'   ? QStringLiteral("→")
                        : f.dir == '<' ? QStringLiteral("←")
                                       : QString();
    const qint64 delta = m_lastMsecs > 0 ? f.msecs - m_lastMsecs : 0;
    const QString hex = QString::fromLatin1(f.bytes.toHex(' ').toUpper());
    const QString texts[Columns] = {timeText(f.msecs),
                                    QString::number(delta),
                                    dir,
                                    hex,
                                    LineText::printable(f.bytes, QChar(0xB7)),
                                    f.meaning,
                                    moduleText(f)};
    for (int c = 0; c < Columns; ++c)
        item->setText(c, texts[c]);
    fitDelta(texts[ColDelta]);
    item->setToolTip(ColHex, hex);
    item->setToolTip(ColMeaning, f.meaning);
    item->setTextAlignment(ColDelta, Qt::AlignRight | Qt::AlignVCenter);
    item->setData(ColTime, kNumberRole, number);
    if (f.kind == FrameKind::Fault)
        item->setForeground(ColMeaning, QColor(160, 0, 0));
    if (QTreeWidgetItem* group = groupItem(f.group, f.msecs))
        group->addChild(item);
    else
        tvFrames->addTopLevelItem(item);
    if (atEnd)
        tvFrames->scrollToBottom();
}

// The ms column grows to its widest text (a frame after a long quiet has many digits), with
// the margins the style gives a cell's text.
void TLineMonitorFrm::fitDelta(const QString& text) {
    const int margin = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, tvFrames) + 1;
    const int need = tvFrames->fontMetrics().horizontalAdvance(text) + 2 * margin;
    if (need > tvFrames->columnWidth(ColDelta))
        tvFrames->setColumnWidth(ColDelta, need);
}

// The row of the group a frame belongs to, created with its first frame; a group ends (and
// folds) when a frame of another group, or of none, comes.
QTreeWidgetItem* TLineMonitorFrm::groupItem(quint32 group, qint64 msecs) {
    if (m_openGroup && m_openGroupId != group) {
        m_openGroup->setExpanded(false);
        m_openGroup = nullptr;
    }
    if (group == 0)
        return nullptr;
    if (!m_openGroup) {
        m_openGroup = new QTreeWidgetItem;
        m_openGroup->setData(ColTime, kGroupRole, group);
        m_openGroup->setText(ColTime, timeText(msecs));
        tvFrames->addTopLevelItem(m_openGroup);
        m_openGroup->setFirstColumnSpanned(false);
        m_openGroup->setExpanded(true);
        m_openGroupId = group;
        QFont bold = m_openGroup->font(ColMeaning);
        bold.setBold(true);
        m_openGroup->setFont(ColMeaning, bold);
    }
    m_openGroup->setText(ColMeaning,
                         QStringLiteral("%1: %2 frames")
                             .arg(m_groupTitles.value(group, QStringLiteral("Operation")))
                             .arg(m_openGroup->childCount() + 1));
    return m_openGroup;
}

void TLineMonitorFrm::dropOldest(quint64 number) {
    QTreeWidgetItem* top = tvFrames->topLevelItem(0);
    if (!top)
        return;
    QTreeWidgetItem* row = top->childCount() > 0 ? top->child(0) : top;
    if (row->data(ColTime, kNumberRole).toULongLong() != number || row->childCount() > 0)
        return; // filtered out: not shown
    delete row;
    if (top != row && top->childCount() == 0) {
        if (top == m_openGroup)
            m_openGroup = nullptr;
        delete top;
    }
}

void TLineMonitorFrm::rebuild() {
    tvFrames->setUpdatesEnabled(false);
    tvFrames->clear();
    m_openGroup = nullptr;
    const qint64 last = m_lastMsecs;
    m_lastMsecs = 0;
    quint64 number = m_first;
    for (const LineFrame& f : m_frames) {
        if (passes(f))
            addRow(f, number);
        m_lastMsecs = f.msecs;
        ++number;
    }
    // A group that is over shows folded.
    if (m_openGroup && m_openGroupId <= m_ended)
        m_openGroup->setExpanded(false);
    m_lastMsecs = last;
    tvFrames->setUpdatesEnabled(true);
    tvFrames->scrollToBottom();
}

void TLineMonitorFrm::clear() {
    m_first += m_frames.size();
    m_frames.clear();
    m_missed = 0;
    m_lastMsecs = 0;
    tvFrames->clear();
    m_openGroup = nullptr;
    updateCount();
}

void TLineMonitorFrm::showLine() {
    m_source.clear();
    m_frames = std::exchange(m_line, {});
    m_lastMsecs = m_frames.empty() ? 0 : m_frames.back().msecs;
    rebuild();
    updateCount();
}

void TLineMonitorFrm::updateCount() {
    QString text =
        m_source.isEmpty()
            ? QStringLiteral("%1 frames kept (the last %2)").arg(m_frames.size()).arg(MaxFrames)
            : QStringLiteral("%1 frames of %2; the line's %3 frames are kept, back with Pause off")
                  .arg(m_frames.size())
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
    for (const LineFrame& f : m_frames) {
        const QByteArray line = LineObserver::formatLine(f);
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
    if (m_source.isEmpty())
        m_line = std::exchange(m_frames, {});
    clear();
    LineDecoder decoder;
    LineFrame raw;
    while (!file.atEnd())
        if (LineObserver::parseLine(file.readLine(), &raw))
            for (const LineFrame& f : decoder.decode(raw))
                keep(f);
    // The file ends: a command it holds no answer to got none.
    for (const LineFrame& f : decoder.settle(raw.msecs))
        keep(f);
    m_source = path;
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
