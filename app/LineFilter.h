#pragma once

#include <QSortFilterProxyModel>

class LineFrames;
struct LineFrame;

// The line monitor's rows of the frames of one module and one kind: a group's row shows while
// any of its frames does, and counts and dates only the frames it shows. A fault's meaning
// is red, a group's bold.
class LineFilter : public QSortFilterProxyModel {
    Q_OBJECT
public:
    explicit LineFilter(QObject* parent = nullptr);

    void setFrames(LineFrames* frames);
    const LineFrames& frames() const;
    // module: subrack * 32 + slot, 16 for the special address, -1 for all; kind: a FrameKind,
    // -1 for all.
    void setFilter(int module, int kind);
    bool passes(const LineFrame& frame) const;
    // The group id of a top-level row; 0 for a lone frame or none.
    quint32 group(const QModelIndex& row) const;

    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

protected:
    bool filterAcceptsRow(int row, const QModelIndex& parent) const override;

private:
    int m_module = -1;
    int m_kind = -1;
};
