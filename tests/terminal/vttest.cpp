#include "app/TerminalView.h"
#include "tests/app/AppFixture.h"
#include "tests/support/TestMain.h"
#include "tests/terminal/VttestRun.h"

#include <QFile>
#include <QtTest>

// vttest as a second opinion on the emulation: its screens say what they should look like,
// and the checks hold the grid to that. A VT100 screen has 24 rows; the emulation is the
// same as the terminal window's.
class VttestPeerTest : public QObject {
    Q_OBJECT
private:
    TerminalView* m_view = nullptr;
    std::unique_ptr<VttestRun> m_run;

    const VtScreen& screen() const { return m_view->screen(); }
    QString row(int r) const { return screen().rowText(r); }
    // Next screen: keys, then what vttest draws up to its next prompt.
    bool next(const QByteArray& keys, const QString& name) {
        m_run->press(keys);
        const bool done = m_run->waitForInput();
        AppFixture::screenshot(m_view, QStringLiteral("vttest-") + name);
        return done;
    }
    void border() {
        const QString stars(80, '*');
        const QString plus = '*' + QString(78, '+') + '*';
        QCOMPARE(row(0), stars);
        QCOMPARE(row(23), stars);
        QCOMPARE(row(1), plus);
        QCOMPARE(row(22), plus);
        for (int r = 2; r <= 21; ++r) {
            QVERIFY2(row(r).startsWith("*+") && row(r).endsWith("+*"), qPrintable(row(r)));
            QCOMPARE(row(r).size(), 80);
        }
        QCOMPARE(row(8).mid(10, 60), QString(60, 'E'));
        QCOMPARE(row(15).mid(10, 60), QString(60, 'E'));
        for (int r = 9; r <= 14; ++r)
            QVERIFY(row(r).at(10) == 'E' && row(r).at(69) == 'E');
    }
    void autowrap() {
        QVERIFY(row(0).startsWith("Test of autowrap"));
        for (int r = 2; r <= 19; ++r) {
            const QChar upper('I' + r - 2);
            QCOMPARE(row(r), upper + QString(78, ' ') + upper.toLower());
        }
    }

private Q_SLOTS:
    void init() {
        if (!QFile::exists(VttestRun::Program))
            QSKIP("vttest is not installed");
        m_view = new TerminalView(24);
        m_view->resize(720, 432);
        m_run = std::make_unique<VttestRun>(m_view->screen());
        QVERIFY(m_run->started());
        if (!m_run->canWatch())
            QSKIP("cannot tell when vttest waits for the keyboard");
        QVERIFY(next({}, "menu"));
        QVERIFY(row(2).contains("VT100 test program"));
    }
    void cleanup() {
        m_run.reset();
        delete m_view;
        m_view = nullptr;
    }

    void cursorMovements() {
        QVERIFY(next("1\r", "1.1"));
        border();
        QVERIFY(next("\r", "1.2"));
        border();
        QVERIFY(next("\r", "1.3"));
        autowrap();
        QVERIFY(next("\r", "1.4"));
        autowrap();
        QVERIFY(next("\r", "1.5"));
        QVERIFY(row(0).startsWith("Test of cursor-control characters inside ESC"));
        for (int r = 3; r <= 6; ++r)
            QCOMPARE(row(r), QString("A B C D E F G H I"));
        QVERIFY(next("\r", "1.6"));
        QCOMPARE(row(3), QString("This is a correct sentence"));
    }

    void screenFeatures() {
        QVERIFY(next("2\r", "2.1"));
        for (int r = 0; r <= 2; ++r)
            QCOMPARE(row(r), QString(80, '*'));
        QCOMPARE(row(3), QString());
        QVERIFY(next("\r", "2.2"));
        QVERIFY(!row(0).isEmpty());
        QCOMPARE(row(1), row(0));
        for (const char* background : {"light", "light", "dark", "dark"}) {
            QVERIFY(next("\r", QStringLiteral("2.3-") + background));
            QCOMPARE(screen().reversed(), qstrcmp(background, "light") == 0);
            for (int r = 2; r <= 18; ++r)
                QCOMPARE(row(r), QString(r, ' ') + "This is 80 column mode, " + background +
                                     " background.");
        }
        for (const char* scroll : {"soft", "soft full", "jump", "jump full"})
            QVERIFY(next("\r", QStringLiteral("2.7-") + scroll));
        QVERIFY(next("\r", "2.11"));
        QVERIFY(row(22).startsWith("This line should be the one above the bottom"));
        QVERIFY(row(23).startsWith("Origin mode test. This line should be at the bottom"));
        QVERIFY(next("\r", "2.12"));
        QVERIFY(row(0).startsWith("This line should be at the top of the screen."));
        QVERIFY(row(23).startsWith("Origin mode test. This line should be at the bottom"));
        for (const char* background : {"dark", "light"}) {
            QVERIFY(next("\r", QStringLiteral("2.13-") + background));
            QCOMPARE(screen().reversed(), qstrcmp(background, "light") == 0);
            QVERIFY(row(3).startsWith("vanilla"));
            QVERIFY(!screen().cell(3, 0).bold && screen().cell(3, 39).bold);
            QVERIFY(screen().cell(5, 5).underline && !screen().cell(5, 5).blink);
            QVERIFY(screen().cell(7, 0).blink);
            QVERIFY(screen().cell(11, 0).reverse != screen().reversed());
        }
        QVERIFY(next("\r", "2.15"));
        for (int r = 0; r <= 3; ++r)
            QCOMPARE(row(r), QString("AAAAA"));
        QCOMPARE(row(9).mid(11, 10), QString(10, '*'));
        // Restoring the cursor should restore its character set as well: the second five
        // of the line-drawing row come out as ASCII "q".
        QEXPECT_FAIL("", "the emulation does not save the character set with the cursor", Continue);
        QCOMPARE(row(11).mid(11, 10), QString(10, QChar(0x2500)));
    }
};

ORVEX_TEST(VttestPeerTest)
#include "vttest.moc"
