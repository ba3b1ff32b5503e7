#pragma once

#include <QByteArray>
#include <QList>
#include <QMetaType>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QTime>
#include <QTimer>

// What a frame on the line is, for filtering: one kind per row of the line monitor.
enum class FrameKind : quint8 {
    Select,  // a select frame
    Read,    // a command that reads from the module
    Write,   // a value write, commit, defaults, reset
    Special, // the special mode and its checksummed commands
    Pages,   // the module pages' requests and blocks
    Console, // the console's start, end, keys and text
    Reply,   // a module's answer
    Fault,   // no answer, a reply cut short, a wrong checksum, NAK
};
constexpr int FrameKindCount = 8;
// "Selects", "Reads", … as the line monitor's filter names them.
QString frameKindName(FrameKind kind);

// One frame on the line: what the program wrote at once (a command frame), or what came
// back up to its terminator; or a note where the line said nothing (dir ' '), or a note of the
// program's on what it does to the line on its own (dir '#', the text in meaning).
struct LineFrame {
    qint64 msecs = 0; // of its first byte, since the epoch
    char dir = '>';   // '>' to the modules, '<' from them, ' ' a note
    QByteArray bytes;
    QString meaning;
    FrameKind kind = FrameKind::Reply;
    // The module that was addressed (selected last, for a select frame the one it selects);
    // subrack -1 when not known yet.
    int subrack = -1;
    int slot = -1;
    // Frames of one operation (a scan) share a number; 0 for none.
    quint32 group = 0;

    bool addressed(int g, int s) const { return subrack == g && slot == s; }
};
Q_DECLARE_METATYPE(LineFrame)

// Splits the bytes of the line into frames. A "!" command frame ends with its tail byte (the
// third byte of a select frame, else CR), however many writes it took; any other write is a
// frame of its own (a console's key). What arrives ends its frame at a terminator (ETX, EOT,
// ACK, NAK, ETB), when the program writes, or when the line has been quiet (quiet()); a SYN
// (a console asking for a key) is a frame of its own.
class LineFramer {
public:
    QList<LineFrame> out(qint64 msecs, const QByteArray& bytes);
    QList<LineFrame> in(qint64 msecs, const QByteArray& bytes);
    QList<LineFrame> quiet();
    bool pending() const { return !m_out.bytes.isEmpty() || !m_in.bytes.isEmpty(); }

private:
    static bool endsReply(char c);
    static bool endsCommand(const QByteArray& frame);
    void take(LineFrame& from, QList<LineFrame>& into);

    LineFrame m_out;
    LineFrame m_in;
};

// Names the frames in the program's words ("select 1/3", "write parameter 2 = 23", "reply
// ETX", "no answer to select 2/5"), from the frames alone and in their order: a reply is read
// against the command it answers. A command that expected an answer and got none before the
// next command gets a note before that command.
class LineDecoder {
public:
    QList<LineFrame> decode(LineFrame frame);
    // The wait for an answer is over (the operation ended): a command still unanswered gets
    // its note now, with the time given and the group of the command.
    QList<LineFrame> settle(qint64 msecs);

private:
    void command(LineFrame& f);
    void reply(LineFrame& f);
    void pagesBlock(LineFrame& f, char end);
    void describeCommand(LineFrame& f, const QByteArray& body);
    void describeKey(LineFrame& f);

    int m_subrack = -1;
    int m_slot = -1;
    bool m_console = false;
    // The command waiting for its answer, and whether anything came back yet.
    QString m_pending;
    bool m_awaiting = false;
    quint32 m_pendingGroup = 0;
    bool m_pagesReply = false; // the command was one of the pages' requests
    bool m_special = false;    // the command was a checksummed special command
};

// Sees every byte on the line (the tap of the link's port and of the pages' raw channel, on
// any thread) and reports each frame as it ends, named by LineDecoder. It only looks: it
// writes nothing and holds nothing back. The command-line trace and the line monitor window
// both listen to it.
class LineObserver : public QObject {
    Q_OBJECT
public:
    // A reply ends after this much silence when no terminator came.
    static constexpr int QuietMs = 50;

    explicit LineObserver(QObject* parent = nullptr);

    // The tap: dir '>' for what is written, '<' for what arrives, '#' a note of the program's
    // (UTF-8 text).
    void bytes(char dir, const QByteArray& bytes);
    // Reports what is still pending as a frame.
    void flush();
    // Frames from now on belong to one operation ("Scan") until endGroup().
    void beginGroup(const QString& title);
    void endGroup();

    // One line of a trace file (without its line end):
    //   14:03:11.042 > 21 C0 80 |!..|
    // time of the frame's first byte, direction, the bytes in hexadecimal, then the bytes as
    // text with '.' for every byte outside printable ASCII. A note of the program's:
    //   14:03:11.040 # ending a console that may still be open: the line was opened
    // The decoder's notes have no line.
    static QByteArray formatLine(const LineFrame& frame);
    // A line of a trace file back as a frame (its time on today's date), a note too; false
    // for a line that is none.
    static bool parseLine(const QByteArray& line, LineFrame* frame);

Q_SIGNALS:
    // Emitted on the thread whose bytes ended the frame (or the observer's, after quiet).
    void frame(const LineFrame& frame);
    // Frames of group id belong to the operation of that title.
    void groupBegun(quint32 id, const QString& title);
    void groupEnded(quint32 id);

private:
    void report(const QList<LineFrame>& frames);
    // Ends what the framer holds and names it (m_mutex held).
    QList<LineFrame> takePending();
    // Reports what is pending and the answer that did not come, at a group's edge.
    void settle();
    void armQuiet();

    QMutex m_mutex;
    LineFramer m_framer;
    LineDecoder m_decoder;
    QTimer m_quiet;
    quint32 m_group = 0;
    quint32 m_groups = 0;
};
