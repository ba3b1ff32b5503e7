#pragma once

#include "link/LineFrames.h"

#include <QMargins>
#include <QWidget>

class LineFilter;
class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QTreeView;

// "Settings" → "Line monitor…": every frame on the line as it happens, one row each with its
// time, direction, bytes in hexadecimal and as text, and what it means. The frames of a scan
// are one foldable group. It keeps the last LineFrames::MaxFrames frames whether shown or
// not, and only looks: it puts nothing on the line. With "Follow main window" it keeps its
// height and sits directly below the main window, as wide as it, and moves with it; where
// the screen has no room below it goes above the main window and its satellite, and where
// neither side has room for it, on the side with more, as tall as that room. Otherwise it
// stands where the user puts it.
class TLineMonitorFrm : public QWidget {
    Q_OBJECT
public:
    TLineMonitorFrm(LineObserver& observer, QWidget* mainWindow);

    // The frames of what is shown: the line's, or the trace's.
    const LineFrames& frames() const { return m_source.isEmpty() ? m_line : m_trace; }
    // Every kept frame in the trace format of orvex-cli --trace; false with *error.
    bool saveTrace(const QString& path, QString* error) const;
    // A trace file (ours or orvex-cli's) shown in place of the line's frames, which are kept
    // meanwhile and shown again with Pause off.
    bool openTrace(const QString& path, QString* error);
    // Empties what is shown: the line's frames, or the trace's.
    void clear();

    QPushButton* btPause = nullptr;
    QPushButton* btClear = nullptr;
    QPushButton* btSave = nullptr;
    QPushButton* btOpen = nullptr;
    QComboBox* cbModule = nullptr;
    QComboBox* cbKind = nullptr;
    QCheckBox* chFollow = nullptr;
    QTreeView* tvFrames = nullptr;
    QLabel* lbCount = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void moveEvent(QMoveEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    void buildTools();
    void buildFrames();
    void layOut();
    void connectControls();
    void onFrame(const LineFrame& frame);
    void groupEnded(quint32 id);
    // Rows the filter let through as frames came: a new row folds the group before it, a new
    // group shows unfolded, and the view stays at the end when it was there.
    void rowsShown(const QModelIndex& parent, int first, int last);
    // Shows the frames anew: the filter applied, every group folded but one still under way.
    void rebuild();
    // The ms column grows to the text of a row (a group's row: of its first frame).
    void fitDelta(const QModelIndex& row);
    void showFrames(LineFrames& frames);
    void showLine();
    void updateCount();
    void follow();
    // Top of the main window and of the satellites shown above it.
    int columnTop() const;
    QMargins frameMargins() const;
    void saveClick();
    void openClick();

    QWidget* m_main;
    LineFrames m_line;  // the line's frames, kept also while a trace is shown
    LineFrames m_trace; // the frames of the trace shown
    LineFilter* m_filter = nullptr;
    quint64 m_missed = 0;         // frames that passed while paused
    quint32 m_ended = 0;          // the last group that ended
    QString m_source;             // the trace file shown, empty for the line
    bool m_atEnd = false;         // the view was at its end before rows came
    bool m_scrollPending = false; // to the end, once the rows that came together are in
    bool m_refiltering = false;
    QMargins m_placedWith; // the window manager's frame when it was last placed
    QSize m_placedSize;    // the client size it was last placed at
    int m_height = 300;    // the client height it keeps where there is room
    int m_framingTries = 0;
    bool m_hiddenWithMain = false; // minimised with the main window
};
