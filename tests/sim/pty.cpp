// The simulator on a pseudo-terminal, reached the way a serial program reaches a port: open
// the path, set the line with termios, write frames, read replies.
#include "SimTestLine.h"
#include "tests/support/TestMain.h"

#include "sim/SimServer.h"

#include <QTemporaryDir>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

int openLine(const QString& path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY);
    if (fd < 0)
        return -1;
    termios t{};
    tcgetattr(fd, &t);
    cfmakeraw(&t);
    t.c_cflag |= PARENB | CSTOPB | CLOCAL | CREAD;
    cfsetspeed(&t, B115200);
    tcsetattr(fd, TCSANOW, &t);
    return fd;
}

// Reads until the terminator arrives, the line ends, or a generous limit passes (a limit,
// not a measurement: the test never looks at how long it took).
QByteArray readUntil(int fd, char terminator, bool* lineGone = nullptr) {
    QByteArray got;
    while (!got.endsWith(terminator)) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 5000) <= 0)
            break;
        char buf[512];
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0) {
            if (lineGone)
                *lineGone = true;
            break;
        }
        got.append(buf, n);
    }
    return got;
}

QByteArray exchange(int fd, const QByteArray& frame, char terminator) {
    if (::write(fd, frame.constData(), frame.size()) != frame.size())
        return {};
    return readUntil(fd, terminator);
}

} // namespace

class SimPtyTest : public QObject {
    Q_OBJECT

private slots:
    void roundTrip_data() {
        QTest::addColumn<int>("pace");
        QTest::newRow("at once") << 0;
        QTest::newRow("line rate") << 1;
    }
    void roundTrip() {
        QFETCH(int, pace);
        QString error;
        SimServerOptions options;
        options.latencyMs = 0;
        options.pace = pace;
        auto sim = SimServer::startPty(demoProfile(), &error, options);
        QVERIFY2(sim, qPrintable(error));
        const int fd = openLine(sim->slavePath());
        QVERIFY(fd >= 0);
        QCOMPARE(exchange(fd, "!\xc0\x80", '\x06'), QByteArray("\x06"));
        const QByteArray info = exchange(fd, "!0\r", '\x03');
        QVERIFY(info.startsWith("\x02QM4-C\nP4\n2\n"));
        QCOMPARE(exchange(fd, "!51\n3500\r", '\x06'), QByteArray("\x06"));
        QCOMPARE(exchange(fd, "!6\r", '\x06'), QByteArray("\x06"));
        QCOMPARE(sim->headend().committedValue(0, 0, 1, 0), std::optional<int>(3500));
        QCOMPARE(sim->headend().received(), QByteArray("!\xc0\x80!0\r!51\n3500\r!6\r"));
        ::close(fd);
    }

    // Pulling the line: the program's reads end; the link path leads to the new line.
    void lineVanishesAndComesBack() {
        QTemporaryDir dir;
        QString error;
        SimServerOptions options;
        options.latencyMs = 0;
        options.pace = 0;
        options.linkPath = dir.filePath(QStringLiteral("headend"));
        auto sim = SimServer::startPty(demoProfile(), &error, options);
        QVERIFY2(sim, qPrintable(error));
        QCOMPARE(sim->slavePath(), options.linkPath);
        int fd = openLine(sim->slavePath());
        QVERIFY(fd >= 0);
        SimFaults cut;
        cut.closeLine = true;
        sim->headend().setFaults(1, 0, cut);
        QCOMPARE(exchange(fd, "!\xc0\x81", '\x06'), QByteArray("\x06"));
        QVERIFY(::write(fd, "!\xc1\x80", 3) == 3);
        bool gone = false;
        QCOMPARE(readUntil(fd, '\x06', &gone), QByteArray());
        QVERIFY(gone);
        QVERIFY(!sim->endpoint().isOpen());
        ::close(fd);
        QVERIFY2(sim->reopenLine(&error), qPrintable(error));
        fd = openLine(options.linkPath);
        QVERIFY(fd >= 0);
        QCOMPARE(exchange(fd, "!\xc1\x80", '\x06'), QByteArray("\x06"));
        ::close(fd);
    }

    // Nobody on the line: replies are lost, as on a cable with nothing at its end.
    void noListenerNoBacklog() {
        PtyEndpoint line;
        QString error;
        QVERIFY2(line.openPty(&error), qPrintable(error));
        QVERIFY(!line.peerConnected());
        QCOMPARE(line.write("stale"), qsizetype(0));
        const int fd = openLine(line.path());
        QVERIFY(fd >= 0);
        QVERIFY(line.peerConnected());
        QCOMPARE(line.write("\x06"), qsizetype(1));
        QCOMPARE(readUntil(fd, '\x06'), QByteArray("\x06"));
        ::close(fd);
    }
};

ORVEX_TEST(SimPtyTest)
#include "pty.moc"
