#include "link/LineFrames.h"
#include "module/LineText.h"
#include "module/ModuleAddress.h"

#include <algorithm>

namespace {
QString moduleText(const LineFrame& f) {
    if (f.subrack < 0)
        return {};
    return f.slot == 16 ? QStringLiteral("special") : ModuleAddress{f.subrack, f.slot}.name();
}

QString directionText(char dir) {
    return dir == '>' ? QStringLiteral("→") : dir == '<' ? QStringLiteral("←") : QString();
}
} // namespace

LineFrames::LineFrames(QObject* parent) : QAbstractItemModel(parent) {}

bool LineFrames::joins(const LineFrame& frame) const {
    return frame.group != 0 && !m_rows.empty() && m_rows.back().group == frame.group;
}

void LineFrames::push(const LineFrame& frame) {
    if (joins(frame))
        ++m_rows.back().count;
    else
        m_rows.push_back({frame.group, m_firstFrame + m_frames.size(), 1});
    m_frames.push_back(frame);
}

void LineFrames::append(const LineFrame& frame) {
    const bool joined = joins(frame);
    const int last = int(m_rows.size()) - 1;
    const QModelIndex group = joined ? createIndex(last, ColMeaning, quintptr(0)) : QModelIndex();
    const int row = joined ? m_rows.back().count : last + 1;
    beginInsertRows(group.siblingAtColumn(0), row, row);
    push(frame);
    endInsertRows();
    if (joined) // its count
        Q_EMIT dataChanged(group, group);
    if (m_frames.size() > MaxFrames)
        dropOldest();
}

void LineFrames::dropOldest() {
    Row& front = m_rows.front();
    const bool whole = front.group == 0 || front.count == 1;
    const QModelIndex group = whole ? QModelIndex() : createIndex(0, 0, quintptr(0));
    beginRemoveRows(group, 0, 0);
    m_droppedMsecs = m_frames.front().msecs;
    m_frames.pop_front();
    ++m_firstFrame;
    if (whole) {
        m_rows.pop_front();
        ++m_firstRow;
    } else {
        ++front.first;
        --front.count;
    }
    endRemoveRows();
    if (!whole)
        Q_EMIT dataChanged(group, group.siblingAtColumn(ColMeaning)); // its time and count
}

void LineFrames::assign(const QList<LineFrame>& frames) {
    beginResetModel();
    m_frames.clear();
    m_rows.clear();
    const qsizetype from = std::max<qsizetype>(0, frames.size() - MaxFrames);
    m_droppedMsecs = from > 0 ? frames[from - 1].msecs : 0;
    for (qsizetype i = from; i < frames.size(); ++i)
        push(frames[i]);
    endResetModel();
}

void LineFrames::clear() {
    assign({});
}

void LineFrames::setTitle(quint32 id, const QString& title) {
    m_titles.insert(id, title);
}

const LineFrames::Row& LineFrames::rowOf(const QModelIndex& index) const {
    const quintptr parent = index.internalId();
    return m_rows[parent == 0 ? size_t(index.row()) : size_t(parent - 1 - m_firstRow)];
}

const LineFrame* LineFrames::frame(const QModelIndex& index) const {
    if (!index.isValid() || index.model() != this)
        return nullptr;
    const Row& row = rowOf(index);
    if (index.internalId() == 0)
        return row.group == 0 ? &m_frames[size_t(row.first - m_firstFrame)] : nullptr;
    return &m_frames[size_t(row.first + index.row() - m_firstFrame)];
}

QString LineFrames::groupText(const QModelIndex& group, int frames) const {
    return QStringLiteral("%1: %2 frames")
        .arg(m_titles.value(rowOf(group).group, QStringLiteral("Operation")))
        .arg(frames);
}

QModelIndex LineFrames::index(int row, int column, const QModelIndex& parent) const {
    if (row < 0 || column < 0 || column >= Columns || row >= rowCount(parent))
        return {};
    return createIndex(row, column, parent.isValid() ? quintptr(m_firstRow + parent.row() + 1) : 0);
}

QModelIndex LineFrames::parent(const QModelIndex& child) const {
    if (!child.isValid() || child.internalId() == 0)
        return {};
    return createIndex(int(child.internalId() - 1 - m_firstRow), 0, quintptr(0));
}

int LineFrames::rowCount(const QModelIndex& parent) const {
    if (!parent.isValid())
        return int(m_rows.size());
    if (parent.internalId() != 0 || parent.column() != 0)
        return 0;
    const Row& row = m_rows[size_t(parent.row())];
    return row.group != 0 ? row.count : 0;
}

int LineFrames::columnCount(const QModelIndex&) const {
    return Columns;
}

QVariant LineFrames::data(const QModelIndex& index, int role) const {
    if (!index.isValid())
        return {};
    const Row& row = rowOf(index);
    if (index.internalId() != 0 || row.group == 0) {
        const quint64 number = row.first + (index.internalId() != 0 ? index.row() : 0);
        return frameData(m_frames[size_t(number - m_firstFrame)], number, index.column(), role);
    }
    if (role != Qt::DisplayRole)
        return {};
    if (index.column() == ColTime)
        return LineText::timeText(m_frames[size_t(row.first - m_firstFrame)].msecs);
    if (index.column() == ColMeaning)
        return groupText(index, row.count);
    return {};
}

QVariant LineFrames::frameData(const LineFrame& f, quint64 number, int column, int role) const {
    if (role == Qt::TextAlignmentRole)
        return column == ColDelta ? QVariant(int(Qt::AlignRight | Qt::AlignVCenter)) : QVariant();
    if (role == Qt::ToolTipRole && column != ColHex && column != ColMeaning)
        return {};
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};
    switch (column) {
    case ColTime:
        return LineText::timeText(f.msecs);
    case ColDelta: {
        // Since the frame before it on the line; 0 for the first after a clear.
        const qint64 before = number > m_firstFrame
                                  ? m_frames[size_t(number - 1 - m_firstFrame)].msecs
                                  : m_droppedMsecs;
        return QString::number(before > 0 ? f.msecs - before : 0);
    }
    case ColDir:
        return directionText(f.dir);
    case ColHex:
        return QString::fromLatin1(f.bytes.toHex(' ').toUpper());
    case ColText:
        return LineText::printable(f.bytes, QChar(0xB7));
    case ColMeaning:
        return f.meaning;
    case ColModule:
        return moduleText(f);
    }
    return {};
}

QVariant LineFrames::headerData(int section, Qt::Orientation orientation, int role) const {
    static const QStringList kTitles{
        QStringLiteral("Time"),  QStringLiteral("ms"),   QString(),
        QStringLiteral("Bytes"), QStringLiteral("Text"), QStringLiteral("Meaning"),
        QStringLiteral("Module")};
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractItemModel::headerData(section, orientation, role);
    return kTitles.value(section);
}
