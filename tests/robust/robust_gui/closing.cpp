// Closing the program while it works on the head-end: a request to close waits for the load
// at hand, a second one stops it after the module at hand, and nothing is left half written.
#include "app/FileDialogs.h"
#include "tests/support/AppFixture.h"
#include "tests/support/Expect.h"
#include "tests/support/LinkFixture.h"
#include "tests/support/TestMain.h"

#include <QtTest>

class ClosingTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void closingDuringALoad() {
        QTemporaryDir lineDir;
        SimServerOptions options;
        options.linkPath = lineDir.filePath("headend");
        const auto sim = startDemo(options);
        SimHeadend& headend = sim->headend();
        AppFixture f(options.linkPath);
        TMainFrm& m = f.start();
        QVERIFY(f.scan());
        const QString file = f.dir.filePath("headend.mmh");
        FileDialogs::setAnswer(file);
        m.itmSaveConfig->trigger();
        const int secondCommits = headend.state(0, 1).commits;
        headend.clearLog();

        // Both requests come while the first module takes its values.
        QStringList said;
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            if (!said.isEmpty() || !headend.received().contains("!5"))
                return;
            m.close();
            said << m.statusText() << QString::number(m.isVisible());
            m.close();
            said << m.statusText();
        });
        poll.start(1);
        m.itmLoadConfig->trigger();
        poll.stop();
        QCOMPARE(said,
                 QStringList({"Closing once the load has ended. Close again to stop it after "
                              "the module at hand.",
                              "1", "Stopping the load after the module at hand; then closing."}));
        // The first module was loaded whole and committed; no other was touched.
        EXPECT_HAS(headend.received(), "!6\r");
        QCOMPARE(headend.state(0, 1).commits, secondCommits);
        QCOMPARE(m.shownMessages.size(), 1);
        EXPECT_STARTS(m.shownMessages.first(), "Loading stopped. Not loaded: 1/2, 1/3, 1/4, 1/6,");
        // Then the program closes as it always does.
        QVERIFY(runUntil([&] { return !m.isVisible(); }));
        QVERIFY(QFile::exists("OXL.ini") && !m.link().ComPort().isOpen());
        FileDialogs::clearAnswer();
    }
};

ORVEX_TEST(ClosingTest)
#include "closing.moc"
