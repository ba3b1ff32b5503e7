#pragma once

#include "link/LineObserver.h"

#include <QAbstractItemModel>
#include <QHash>
#include <deque>

// The frames of the line as the line monitor shows them, kept once: a tree whose rows are the
// frames, oldest first, where the frames of one operation (a group of LineObserver's: a scan)
// are the children of one row of their own. It keeps the last MaxFrames frames; the oldest go
// as new ones come, and a group's row goes with its last frame.
//
//   LineFrames frames;
//   connect(&observer, &LineObserver::frame, &frames, &LineFrames::append);
//   connect(&observer, &LineObserver::groupBegun, &frames, &LineFrames::setTitle);
//   view->setModel(&frames);
class LineFrames : public QAbstractItemModel {
    Q_OBJECT
public:
    static constexpr int MaxFrames = 20000;
    enum Column { ColTime, ColDelta, ColDir, ColHex, ColText, ColMeaning, ColModule, Columns };

    explicit LineFrames(QObject* parent = nullptr);

    void append(const LineFrame& frame);
    // What is kept becomes these frames (the last MaxFrames of them), in one reset.
    void assign(const QList<LineFrame>& frames);
    void clear();
    // The operation that frames of group id belong to ("Scan"); "Operation" when not told.
    void setTitle(quint32 id, const QString& title);

    // The frames kept, oldest first.
    int size() const { return int(m_frames.size()); }
    const LineFrame& at(int i) const { return m_frames[size_t(i)]; }
    // The frame of a row; nullptr for a group's row.
    const LineFrame* frame(const QModelIndex& index) const;
    // "Scan: 212 frames": the text of a group's row showing that many of its frames.
    QString groupText(const QModelIndex& group, int frames) const;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    // A top-level row: a lone frame (group 0), or a group's frames; frames by their number.
    struct Row {
        quint32 group = 0;
        quint64 first = 0;
        int count = 1;
    };
    // The frame goes into the last row: the group it belongs to is that row's.
    bool joins(const LineFrame& frame) const;
    void push(const LineFrame& frame);
    // The top-level row of an index's own row or its parent's.
    const Row& rowOf(const QModelIndex& index) const;
    QVariant frameData(const LineFrame& f, quint64 number, int column, int role) const;
    void dropOldest();

    std::deque<LineFrame> m_frames;
    std::deque<Row> m_rows;
    quint64 m_firstFrame = 0; // the number of m_frames.front()
    quint64 m_firstRow = 0;   // the number of m_rows.front()
    // The time of the last frame that went for room, for the ms of the oldest kept; 0 for none.
    qint64 m_droppedMsecs = 0;
    QHash<quint32, QString> m_titles;
};
