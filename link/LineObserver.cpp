#include "link/LineObserver.h"
#include "module/LineText.h"
#include "module/Protocol.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QThread>
#include <utility>

QString frameKindName(FrameKind kind) {
    switch (kind) {
    case FrameKind::Select:
        return QStringLiteral("Selects");
    case FrameKind::Read:
        return QStringLiteral("Reads");
    case FrameKind::Write:
        return QStringLiteral("Writes and commits");
    case FrameKind::Special:
        return QStringLiteral("Special commands");
    case FrameKind::Pages:
        return QStringLiteral("Module pages");
    case FrameKind::Console:
        return QStringLiteral("Console");
    case FrameKind::Reply:
        return QStringLiteral("Replies");
    case FrameKind::Fault:
        return QStringLiteral("No answer, time-outs");
    }
    return {};
}

// --- framing

bool LineFramer::endsReply(char c) {
    switch (c) {
    case 0x03: // ETX
    case 0x04: // EOT
    case 0x06: // ACK
    case 0x15: // NAK
    case 0x16: // SYN
    case 0x17: // ETB
        return true;
    default:
        return false;
    }
}

bool LineFramer::endsCommand(const QByteArray& frame) {
    const bool select =
        frame.size() >= 2 && (uchar(frame.at(1)) & 0xFE) == Protocol::SelectSubrackBase;
    return select ? frame.size() == 3 : frame.endsWith('\r');
}

void LineFramer::take(LineFrame& from, QList<LineFrame>& into) {
    if (!from.bytes.isEmpty())
        into << from;
    from = LineFrame();
}

QList<LineFrame> LineFramer::out(qint64 msecs, const QByteArray& bytes) {
    QList<LineFrame> done;
    take(m_in, done);
    for (const char c : bytes) {
        if (m_out.bytes.isEmpty()) {
            m_out.msecs = msecs;
            m_out.dir = '>';
        }
        m_out.bytes += c;
        if (m_out.bytes.startsWith('!') && endsCommand(m_out.bytes))
            take(m_out, done);
    }
    // What is not a command frame (a console's key, its start and end) is the write itself.
    if (!m_out.bytes.startsWith('!'))
        take(m_out, done);
    return done;
}

QList<LineFrame> LineFramer::in(qint64 msecs, const QByteArray& bytes) {
    QList<LineFrame> done;
    // A reply: whatever command was still open is all there is of it.
    take(m_out, done);
    for (const char c : bytes) {
        // A console's request for a key is a frame of its own, after the text before it.
        if (c == 0x16)
            take(m_in, done);
        if (m_in.bytes.isEmpty()) {
            m_in.msecs = msecs;
            m_in.dir = '<';
        }
        m_in.bytes += c;
        if (endsReply(c))
            take(m_in, done);
    }
    return done;
}

QList<LineFrame> LineFramer::quiet() {
    QList<LineFrame> done;
    take(m_out, done);
    take(m_in, done);
    return done;
}

// --- the observer

LineObserver::LineObserver(QObject* parent) : QObject(parent) {
    qRegisterMetaType<LineFrame>();
    m_quiet.setSingleShot(true);
    connect(&m_quiet, &QTimer::timeout, this, &LineObserver::flush);
}

void LineObserver::bytes(char dir, const QByteArray& bytes) {
    QList<LineFrame> done;
    bool pending = false;
    {
        QMutexLocker lock(&m_mutex);
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        if (dir == '#') {
            done << takePending();
            LineFrame note;
            note.msecs = now;
            note.dir = '#';
            note.meaning = QString::fromUtf8(bytes);
            note.group = m_group;
            done << m_decoder.decode(note);
        }
        const QList<LineFrame> frames = dir == '>'   ? m_framer.out(now, bytes)
                                        : dir == '<' ? m_framer.in(now, bytes)
                                                     : QList<LineFrame>();
        for (LineFrame f : frames) {
            f.group = m_group;
            done << m_decoder.decode(f);
        }
        pending = m_framer.pending();
    }
    report(done);
    if (pending)
        armQuiet();
}

void LineObserver::flush() {
    QList<LineFrame> done;
    {
        QMutexLocker lock(&m_mutex);
        done = takePending();
    }
    report(done);
}

QList<LineFrame> LineObserver::takePending() {
    QList<LineFrame> done;
    for (LineFrame f : m_framer.quiet()) {
        f.group = m_group;
        done << m_decoder.decode(f);
    }
    return done;
}

void LineObserver::armQuiet() {
    // The timer belongs to this object's thread; the pages' bytes come from another.
    if (QThread::currentThread() == thread())
        m_quiet.start(QuietMs);
    else
        QMetaObject::invokeMethod(
            &m_quiet, [this] { m_quiet.start(QuietMs); }, Qt::QueuedConnection);
}

void LineObserver::report(const QList<LineFrame>& frames) {
    for (const LineFrame& f : frames)
        Q_EMIT frame(f);
}

// An operation's commands are answered or not by the time it ends (or the next begins): the
// last one's missing answer is its own, at that time, not the next command's.
void LineObserver::settle() {
    QList<LineFrame> done;
    {
        QMutexLocker lock(&m_mutex);
        done = takePending();
        done << m_decoder.settle(QDateTime::currentMSecsSinceEpoch());
    }
    report(done);
}

void LineObserver::beginGroup(const QString& title) {
    settle();
    quint32 id = 0;
    {
        QMutexLocker lock(&m_mutex);
        id = m_group = ++m_groups;
    }
    Q_EMIT groupBegun(id, title);
}

void LineObserver::endGroup() {
    settle();
    quint32 id = 0;
    {
        QMutexLocker lock(&m_mutex);
        id = std::exchange(m_group, 0);
    }
    Q_EMIT groupEnded(id);
}

QByteArray LineObserver::formatLine(const LineFrame& frame) {
    const QByteArray time = LineText::timeText(frame.msecs).toLatin1();
    if (frame.dir == '#')
        return time + " # " + frame.meaning.toUtf8();
    if (frame.bytes.isEmpty())
        return {};
    return time + ' ' + frame.dir + ' ' + frame.bytes.toHex(' ').toUpper() + " |" +
           LineText::printable(frame.bytes).toLatin1() + '|';
}

bool LineObserver::parseLine(const QByteArray& line, LineFrame* frame) {
    static const QRegularExpression kLine(QStringLiteral(
        R"(^(\d\d:\d\d:\d\d\.\d\d\d) (?:([<>]) ((?:[0-9A-Fa-f]{2} )*[0-9A-Fa-f]{2}) \|.*\||# (.*?))\s*$)"));
    const QRegularExpressionMatch m = kLine.match(QString::fromUtf8(line));
    if (!m.hasMatch())
        return false;
    const QTime time = QTime::fromString(m.captured(1), QLatin1String(LineText::TimeFormat));
    if (!time.isValid())
        return false;
    *frame = LineFrame();
    frame->msecs = QDateTime(QDate::currentDate(), time).toMSecsSinceEpoch();
    frame->dir = m.captured(2).isEmpty() ? '#' : m.captured(2).at(0).toLatin1();
    frame->bytes = QByteArray::fromHex(m.captured(3).toLatin1());
    frame->meaning = m.captured(4); // a note's text
    return true;
}
