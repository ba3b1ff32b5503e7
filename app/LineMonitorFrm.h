#pragma once

#include "link/LineObserver.h"

#include <QHash>
#include <QMargins>
#include <QWidget>
#include <deque>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

// "Settings" → "Line monitor…": every frame on the line as it happens, one row each with its
// time, direction, bytes in hexadecimal and as text, and what it means. The frames of a scan
// are one foldable group. It keeps the last MaxFrames frames whether shown or not, and only
// looks: it puts nothing on the line. With "Follow main window" it keeps its height and sits
// directly below the main window, as wide as it, and moves with it; where the screen has no
// room below it goes above the main window and its satellite, and where neither side has room
// for it, on the side with more, as tall as that room. Otherwise it stands where the user puts
// it.
class TLineMonitorFrm : public QWidget {
    Q_OBJECT
public:
    static constexpr int MaxFrames = 20000;
    enum Column { ColTime, ColDelta, ColDir, ColHex, ColText, ColMeaning, ColModule, Columns };

    TLineMonitorFrm(LineObserver& observer, QWidget* mainWindow);

    // The frames kept, oldest first.
    const std::deque<LineFrame>& frames() const { return m_frames; }
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
    QTreeWidget* tvFrames = nullptr;
    QLabel* lbCount = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void moveEvent(QMoveEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    void buildControls();
    void onFrame(const LineFrame& frame);
    void keep(const LineFrame& frame);
    bool passes(const LineFrame& frame) const;
    void rebuild();
    void addRow(const LineFrame& frame, quint64 number);
    void fitDelta(const QString& text);
    QTreeWidgetItem* groupItem(quint32 group, qint64 msecs);
    void dropOldest(quint64 number);
    void showLine();
    void updateCount();
    void follow();
    // Top of the main window and of the satellites shown above it.
    int columnTop() const;
    QMargins frameMargins() const;
    void saveClick();
    void openClick();

    QWidget* m_main;
    std::deque<LineFrame> m_frames;
    quint64 m_first = 0; // the number of the oldest kept frame
    qint64 m_lastMsecs = 0;
    quint64 m_missed = 0; // frames that passed while paused
    QHash<quint32, QString> m_groupTitles;
    QTreeWidgetItem* m_openGroup = nullptr;
    quint32 m_openGroupId = 0;
    quint32 m_ended = 0;          // the last group that ended
    QString m_source;             // the trace file shown, empty for the line
    std::deque<LineFrame> m_line; // the line's frames while a trace is shown
    QMargins m_placedWith;        // the window manager's frame when it was last placed
    QSize m_placedSize;           // the client size it was last placed at
    int m_height = 300;           // the client height it keeps where there is room
    int m_framingTries = 0;
    bool m_hiddenWithMain = false; // minimised with the main window
};
