#pragma once

#include <QByteArray>
#include <QColor>
#include <QObject>
#include <QPoint>
#include <QString>
#include <QVector>
#include <deque>

struct VTerm;
struct VTermScreen;

// One character cell of the screen as the emulation left it.
struct VtCell {
    QString text;  // the character, or empty for a blank cell
    int width = 1; // 2 for the first cell of a double-width character, 0 for its second
    // Colour index 0-255, or -1 for the default colour, -2 for a direct RGB colour.
    int foregroundIndex = -1;
    int backgroundIndex = -1;
    QColor foreground; // resolved colour (meaningless when the index is -1)
    QColor background;
    bool bold = false;
    bool underline = false;
    bool italic = false;
    bool blink = false;
    bool reverse = false;
    bool strike = false;
    bool doubleWidthLine = false; // the line was set double width (its cells are drawn wide)
    int doubleHeight = 0;         // a double-height line: 1 its top half, 2 its bottom half
};

// A VT100/ANSI screen: the emulation of control sequences (libvterm) on a fixed grid. It
// knows nothing of windows: feed it the bytes from the far end, read back its cells; what a
// terminal sends on its own (typed keys, answers to the far end's queries) comes out of
// output().
//
// Lines that scroll off the top are kept (scrollback). Lines are numbered for the whole
// session: the screen's row 0 is line screenTop(), the lines kept above it run down to
// firstLine(); a line keeps its number as the text scrolls.
class VtScreen : public QObject {
    Q_OBJECT
public:
    static constexpr int ScrollbackLines = 2000;

    VtScreen(int rows, int cols, QObject* parent = nullptr);
    ~VtScreen() override;
    VtScreen(const VtScreen&) = delete;
    VtScreen& operator=(const VtScreen&) = delete;

    int rows() const { return m_rows; }
    int cols() const { return m_cols; }

    // Interprets bytes from the far end (8-bit characters: Latin-1 and C1 controls).
    void feed(const QByteArray& bytes);
    // A typed character; its bytes come out of output().
    void typeChar(char32_t c);
    // A key without a character of its own (cursor, editing and function keys); false when
    // the key has no terminal sequence.
    bool typeKey(int qtKey, Qt::KeyboardModifiers modifiers);

    VtCell cell(int row, int col) const;
    // The characters of a row, blank cells as spaces, trailing blanks removed.
    QString rowText(int row) const;
    // Column (x) and row (y) of the cursor; whether the far end shows it, and makes it blink
    // (DECTCEM, and mode 12 or a cursor style).
    QPoint cursor() const;
    bool cursorVisible() const { return m_cursorVisible; }
    bool cursorBlinks() const { return m_cursorBlinks; }

    // The scrollback and the screen as one run of numbered lines.
    qint64 screenTop() const { return m_pushed; }
    qint64 firstLine() const { return m_pushed - qint64(m_history.size()); }
    VtCell cellAt(qint64 line, int col) const;
    QString lineText(qint64 line) const;
    // The text from (line, col) to (toLine, toCol), both included; one line end between lines,
    // trailing blanks of each line left out.
    QString text(qint64 line, int col, qint64 toLine, int toCol) const;
    // The whole screen is shown in reverse video (light background); the cells report it in
    // their reverse attribute already, this is for what lies outside the grid.
    bool reversed() const { return m_reversed; }

Q_SIGNALS:
    // Cells changed since the last feed.
    void changed();
    // Bytes the terminal sends to the far end.
    void output(const QByteArray& bytes);
    void bell();

private:
    friend struct VtCallbacks;
    void setPalette();
    static QByteArray fromLine(const QByteArray& bytes);
    void interpret(const QByteArray& bytes);
    void keepLine(const QVector<VtCell>& line);

    // Where the scan for the column-mode switch stands between pieces of input.
    enum class Scan { Ground, Escape, Csi, Private };

    int m_rows;
    int m_cols;
    VTerm* m_vt = nullptr;
    VTermScreen* m_screen = nullptr;
    bool m_dirty = false;
    bool m_reversed = false;
    bool m_cursorVisible = true;
    bool m_cursorBlinks = true;
    std::deque<QVector<VtCell>> m_history;
    qint64 m_pushed = 0; // lines that ever scrolled off
    Scan m_scan = Scan::Ground;
    QByteArray m_params;
};
