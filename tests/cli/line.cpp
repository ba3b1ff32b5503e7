// What orvex-cli puts on the line and records of it: the trace, the console, a refused write.
#include "tests/cli/CliRun.h"
#include "tests/support/PtyPeer.h"
#include "tests/support/TestMain.h"

namespace {

struct TracedFrame {
    char dir = 0;
    QByteArray bytes;
};

// "hh:mm:ss.zzz > 21 C0 81 |!..|" → direction and bytes; checks the text column as well.
QList<TracedFrame> readTrace(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QList<TracedFrame> frames;
    static const QRegularExpression line(QStringLiteral(
        "^\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d ([<>]) ((?:[0-9A-F]{2} )*[0-9A-F]{2}) \\|(.*)\\|$"));
    for (const QByteArray& l : file.readAll().split('\n')) {
        if (l.isEmpty())
            continue;
        const auto m = line.match(QString::fromLatin1(l));
        if (!m.hasMatch()) {
            qWarning("not a trace line: %s", l.constData());
            return {};
        }
        TracedFrame f{m.captured(1).at(0).toLatin1(),
                      QByteArray::fromHex(m.captured(2).toLatin1().replace(' ', ""))};
        QByteArray text = f.bytes;
        for (char& c : text)
            c = (c >= 0x20 && c < 0x7F) ? c : '.';
        if (m.captured(3).toLatin1() != text) {
            qWarning("text column differs: %s", l.constData());
            return {};
        }
        frames << f;
    }
    return frames;
}

// A head-end on a scripted line: the demo modules answer, except that they never acknowledge
// a value write.
class RefusingWrites : public SimLine {
public:
    RefusingWrites() : headend(demoProfile()) {
        headend.setLine(this);
        peer.setResponder([this](const QByteArray& frame) -> std::optional<PtyPeer::Reply> {
            std::lock_guard lock(mutex);
            out.clear();
            if (frame.startsWith("!5"))
                return std::nullopt;
            headend.feed(frame);
            return PtyPeer::Reply{out};
        });
    }
    void send(const QByteArray& bytes, int) override { out += bytes; }
    void drop() override {}

    std::mutex mutex;
    QByteArray out;
    SimHeadend headend;
    PtyPeer peer;
};

} // namespace

class LineTest : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<CliRun> f;

private Q_SLOTS:
    void init() { f = std::make_unique<CliRun>(); }
    void cleanup() { f.reset(); }

    void traceHoldsEveryByte() {
        const QString trace = f->path(QStringLiteral("line.trace"));
        const auto r = f->run(
            {QStringLiteral("--trace"), trace, QStringLiteral("show"), QStringLiteral("1/2")});
        QCOMPARE(r.status, 0);
        const QList<TracedFrame> frames = readTrace(trace);
        QVERIFY(!frames.isEmpty());
        QByteArray written, read;
        for (const TracedFrame& t : frames) {
            if (t.dir == '>') {
                // One frame a line: each write is one command frame.
                QVERIFY2(t.bytes.startsWith('!'), t.bytes.toHex(' ').constData());
                written += t.bytes;
            } else {
                read += t.bytes;
            }
        }
        QCOMPARE(written, f->sim->headend().received());
        QCOMPARE(read, f->sim->headend().sent());
        // The first exchange: the select frame of 1/2, acknowledged.
        QCOMPARE(frames.at(0).bytes.toHex(' '), QByteArray("21 c0 81"));
        QCOMPARE(frames.at(1).dir, '<');
        QCOMPARE(frames.at(1).bytes, QByteArray("\x06"));
        // A reply ends its line at its ETX.
        for (const TracedFrame& t : frames)
            if (t.dir == '<' && t.bytes.contains('\x03'))
                QCOMPARE(t.bytes.indexOf('\x03'), t.bytes.size() - 1);
    }

    void traceFileUnusable() {
        const auto r = f->run({QStringLiteral("--trace"), f->path(QStringLiteral("no/such/dir/t")),
                               QStringLiteral("scan")});
        QCOMPARE(r.status, 3);
        QCOMPARE(r.errLines().size(), 1);
        QVERIFY(r.errLines().first().startsWith(QStringLiteral("The trace file ")));
        QVERIFY(f->sim->headend().received().isEmpty());
    }

    void consoleFromPipe() {
        // Keys from a pipe: each goes when the module asks with SYN; the console ends once the
        // keys are used up and the line is quiet.
        const auto r =
            f->run({QStringLiteral("terminal"), QStringLiteral("1/9")}, QByteArray("status\n"));
        QCOMPARE(r.status, 0);
        QVERIFY(r.out.contains("SNMP agent running"));
        QVERIFY(!r.out.contains('\x16'));
        const QByteArray sent = f->sim->headend().received();
        const qsizetype open = sent.indexOf("9\r");
        QVERIFY(open > 0);
        // LF from the pipe went as CR, the Enter key; ETX CR closed the console.
        QCOMPARE(sent.mid(open), QByteArray("9\rstatus\r\x03\r"));
        QVERIFY(!f->sim->headend().state(0, 8).consoleOpen);
    }

    void consoleEndsOnModuleAndKey_data() {
        QTest::addColumn<QByteArray>("keys");
        QTest::addColumn<bool>("closeInput");
        QTest::newRow("module sends EOT") << QByteArray("exit\r") << false;
        QTest::newRow("Ctrl-]") << QByteArray("\x1b[A\x1d") << false;
    }
    void consoleEndsOnModuleAndKey() {
        QFETCH(QByteArray, keys);
        QFETCH(bool, closeInput);
        const auto r =
            f->run({QStringLiteral("terminal"), QStringLiteral("2/5")}, keys, closeInput);
        QCOMPARE(r.status, 0);
        QVERIFY(r.errLines().contains(QStringLiteral("Console of module 2/5 closed.")));
        const QByteArray sent = f->sim->headend().received();
        QVERIFY(sent.endsWith("\x03\r"));
        QVERIFY(!f->sim->headend().state(1, 4).consoleOpen);
    }

    void consoleNeedsAConsole() {
        const auto r = f->run({QStringLiteral("terminal"), QStringLiteral("1/1")});
        QCOMPARE(r.status, 1);
        QCOMPARE(r.errLines(), QStringList{QStringLiteral("Module 1/1 (QM4-C) has no console.")});
        QVERIFY(!f->sim->headend().received().contains("9\r"));
    }

    void refusedWrite() {
        RefusingWrites line;
        const auto r = f->run({QStringLiteral("--port"), line.peer.path(), QStringLiteral("set"),
                               QStringLiteral("1/2"), QStringLiteral("3"), QStringLiteral("0")});
        QCOMPARE(r.status, 1);
        QCOMPARE(r.errLines(), QStringList{QStringLiteral(
                                   "Module 1/2 parameter 3 (22 kHz tone) refused the value 0.")});
        // Refused: no commit follows.
        QVERIFY(!line.peer.received().contains("!6\r"));
    }
};

ORVEX_TEST(LineTest)
#include "line.moc"
