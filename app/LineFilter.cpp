#include "app/LineFilter.h"
#include "link/LineFrames.h"

#include <QBrush>
#include <QFont>

LineFilter::LineFilter(QObject* parent) : QSortFilterProxyModel(parent) {
    setRecursiveFilteringEnabled(true);
}

void LineFilter::setFrames(LineFrames* frames) {
    if (sourceModel() != frames)
        setSourceModel(frames);
}

const LineFrames& LineFilter::frames() const {
    return *static_cast<const LineFrames*>(sourceModel());
}

void LineFilter::setFilter(int module, int kind) {
    m_module = module;
    m_kind = kind;
    invalidateFilter();
}

bool LineFilter::passes(const LineFrame& frame) const {
    if (m_kind >= 0 && int(frame.kind) != m_kind)
        return false;
    if (m_module == 16)
        return frame.slot == 16;
    return m_module < 0 || frame.addressed(m_module / 32, m_module % 32);
}

bool LineFilter::filterAcceptsRow(int row, const QModelIndex& parent) const {
    // A group's row has no frame of its own: it is taken for the frames it holds.
    const LineFrame* f = frames().frame(sourceModel()->index(row, 0, parent));
    return f && passes(*f);
}

quint32 LineFilter::group(const QModelIndex& row) const {
    if (!row.isValid())
        return 0;
    const LineFrame* first = frames().frame(mapToSource(index(0, 0, row.siblingAtColumn(0))));
    return first ? first->group : 0;
}

QVariant LineFilter::data(const QModelIndex& index, int role) const {
    const QModelIndex source = mapToSource(index);
    const int column = index.column();
    if (const LineFrame* f = frames().frame(source.siblingAtColumn(0))) {
        if (role == Qt::ForegroundRole && column == LineFrames::ColMeaning &&
            f->kind == FrameKind::Fault)
            return QBrush(QColor(160, 0, 0));
        return QSortFilterProxyModel::data(index, role);
    }
    if (role == Qt::FontRole && column == LineFrames::ColMeaning) {
        QFont bold;
        bold.setBold(true);
        return bold;
    }
    const QModelIndex group = index.siblingAtColumn(0);
    if (role == Qt::DisplayRole && column == LineFrames::ColTime)
        return this->index(0, LineFrames::ColTime, group).data();
    if (role == Qt::DisplayRole && column == LineFrames::ColMeaning)
        return frames().groupText(source, rowCount(group));
    return QSortFilterProxyModel::data(index, role);
}
