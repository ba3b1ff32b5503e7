// The line's frames as the line monitor and the trace name them, from what the simulator's
// modules answer to each command: every command and every kind of reply.
#include "link/LineFrames.h"
#include "tests/support/Expect.h"
#include "tests/support/LinkFixture.h"
#include "tests/support/TestMain.h"

#include <QAbstractItemModelTester>
#include <QRegularExpression>
#include <QtTest>

Q_DECLARE_METATYPE(SimFaults)

namespace {
// A special command as the link frames it: the reply's form behind "!", LF before the CR.
QByteArray special(const QByteArray& code) {
    return '!' + specReply(code).chopped(1) + "\n\r";
}
} // namespace

class DecodeTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void meanings_data() {
        QTest::addColumn<QList<QByteArray>>("sent");
        QTest::addColumn<QString>("meanings"); // " | " between them
        QTest::addColumn<SimFaults>("faults"); // of module 1/6
        const QByteArray sel16("!\xC0\x85");
        const QString s16 = "select 1/6 | ACK to select 1/6 | ";
        const auto row = [](const char* name, const QList<QByteArray>& sent, const QString& said,
                            const SimFaults& faults = {}) {
            QTest::newRow(name) << sent << said << faults;
        };
        const QList<QPair<QByteArray, const char*>> reads{
            {"!0\r", "read info block"},       {"!;\r", "read version"},
            {"!1\r", "read diagnostic bytes"}, {"!:\r", "read extended diagnostic"},
            {"!<\r", "read messages"},         {"!2\r", "read values"},
            {"!?\r", "read serial number"},    {"!$\r", "read HTML marker"}};
        for (const auto& [command, what] : reads)
            row(what, {sel16, command}, s16 + what + " | reply ETX to " + what);
        row("empty slot", {"!\xC0\x84", "!\xC0\x80"},
            "select 1/5 | no answer to select 1/5 | select 1/1 | ACK to select 1/1");
        row("writes", {sel16, "!50\n21\r", "!6\r", "!5Z\n0\r"},
            s16 + "write parameter 0 = 21 | ACK to write parameter 0 = 21 | commit | ACK to "
                  "commit | write module type (parameter Z) = 0 | ACK to write module type "
                  "(parameter Z) = 0");
        row("defaults and reset", {sel16, "!>\r", "!7\r"},
            s16 + "load defaults | ACK to load defaults | reset module | ACK to reset module");
        row("image", {"!\xC1\x82", "!&\r", special("03"), special("05"), special("04")},
            "select 2/3 | ACK to select 2/3 | enter special mode | ACK to enter special mode | "
            "special command 03 (open image) | special reply | special command 05 (first image "
            "line) | special reply | special command 04 (next image line) | special reply");
        row("reply cut short", {sel16, "!2\r"},
            s16 + "read values | time-out: reply to read values without its end",
            faults([](SimFaults& s) { s.unterminated = 1; }));
        row("no answer", {sel16, "!2\r", "!6\r"},
            s16 + "read values | no answer to read values | commit | ACK to commit",
            faults([](SimFaults& s) { s.dropReplies = 1; }));
        row("pages", {"!\xC1\x80", "!G\r", "!A\r", "!4\r", "!N\r", "!Bstyle.css\r"},
            "select 2/1 | ACK to select 2/1 | pages: window size | reply ETX to pages: window "
            "size | pages: start page | pages: block (HTML), more follow | pages: block checksum "
            "| reply ETX to pages: block checksum | pages: next block | pages: block, more "
            "follow | pages: document /style.css | pages: block (CSS), more follow");
        row("console", {"!\xC0\x88", "9\r", "\x1c", "\x03\r"},
            "select 1/9 | ACK to select 1/9 | console: start | console: text | console: asks for "
            "a key | console: key Left | console: asks for a key | console: end");
    }
    // Each row: the frames in order, the simulator's answer to each fed in as it came.
    void meanings() {
        QFETCH(QList<QByteArray>, sent);
        QFETCH(SimFaults, faults);
        SimRig rig;
        rig.headend.setResetMs(0);
        rig.headend.setFaults(0, 5, faults);
        LineFramer framer;
        LineDecoder decoder;
        QStringList got;
        const auto named = [&](const QList<LineFrame>& frames) {
            for (const LineFrame& raw : frames) {
                LineFrame parsed;
                // What a trace file keeps reads back as the same frame.
                QVERIFY(LineObserver::parseLine(LineObserver::formatLine(raw), &parsed));
                QCOMPARE(parsed.bytes, raw.bytes);
                for (const LineFrame& f : decoder.decode(parsed))
                    if (got.isEmpty() || got.last() != f.meaning) // text comes in pieces
                        got << f.meaning;
            }
        };
        for (const QByteArray& frame : sent) {
            named(framer.out(0, frame));
            rig.ask(frame);
            for (const QByteArray& piece : rig.pieces)
                named(framer.in(0, piece));
        }
        named(framer.quiet());
        got.replaceInStrings(QRegularExpression(", \\d+ bytes$"), "");
        QFETCH(QString, meanings);
        EXPECT_BYTES(got, meanings.split(" | "));
    }

    // The line monitor's rows: an operation's frames are the children of a row that counts
    // them, other frames rows of their own. The last MaxFrames frames are kept: the oldest go,
    // a group's row with its last one; the ms count from the frame before, kept or not.
    void kept() {
        LineFrames frames;
        QAbstractItemModelTester tester(&frames,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        frames.setTitle(1, "Scan");
        QList<LineFrame> line(LineFrames::MaxFrames + 1); // the first is one too many
        const std::pair<qint64, quint32> start[] = {{1000, 0}, {1010, 1}, {1013, 1}, {1100, 0}};
        for (int i = 0; i < line.size(); ++i)
            std::tie(line[i].msecs, line[i].group) =
                i < 4 ? start[i] : std::pair{qint64(1200 + i), 2u};
        const auto rows = [&] { // each row's text and its first frame's ms
            QStringList shown;
            for (int r = 0; r < frames.rowCount(); ++r) {
                const QModelIndex row = frames.index(r, 0);
                const QModelIndex first = frames.hasChildren(row) ? frames.index(0, 0, row) : row;
                shown << QStringLiteral("%1(%2)").arg(
                    row.siblingAtColumn(LineFrames::ColMeaning).data().toString(),
                    first.siblingAtColumn(LineFrames::ColDelta).data().toString());
            }
            return shown.join(" | ");
        };
        frames.assign(line);
        QCOMPARE(rows(), "Scan: 2 frames(10) | (87) | Operation: 19997 frames(104)");
        const QPersistentModelIndex late = frames.index(0, 0, frames.index(2, 0));
        frames.append(line.last());
        QCOMPARE(rows(), "Scan: 1 frames(3) | (87) | Operation: 19998 frames(104)");
        frames.append(line.last());
        QCOMPARE(rows(), "(87) | Operation: 19999 frames(104)");
        QCOMPARE(late.parent().row(), 1);
        QCOMPARE(frames.size(), LineFrames::MaxFrames);
    }
};

ORVEX_TEST(DecodeTest)
#include "decode.moc"
