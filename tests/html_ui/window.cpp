#include "html/RawChannel.h"
#include "html/ui/WaitBox.h"
#include "tests/html/ScriptedModule.h"
#include "tests/html_ui/PagesWindowFixture.h"
#include "tests/support/LinkFixture.h"
#include "tests/support/TestMain.h"

#include <QProgressBar>
#include <QShortcut>
#include <QtTest>

namespace {
const QByteArray kStartPage = "<html><body><p id=t>Module start</p>"
                              "<input id=first><input id=second></body></html>";

bool portIsFree(const QString& path) {
    RawChannel channel;
    return channel.OpenRawPort(path);
}
} // namespace

// The pages window on a scripted module: the size exchange, the window, its status line,
// the wait box, the keyboard, and the line given back.
class WindowTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void portThatCannotOpen() {
        PagesWindowFixture f;
        f.show("/dev/does-not-exist");
        QCOMPARE(f.messages, QStringList{"COM Port opening error"});
        QVERIFY(!f.shown);
        QVERIFY(!ModulePagesWindow::instance());
    }

    void lineIsHandedOverAndBack() {
        // The link lets go of its port, the pages use it, the link takes it again.
        LinkFixture link;
        ScriptedModule module(link.peer);
        module.setWindowSize("400\n300\n\x03");
        module.reply("HTML\n", {kStartPage});
        QVERIFY(link.link->OpenLink());
        link.link->closePort();
        PagesWindowFixture f;
        f.show(link.peer.path());
        QVERIFY(f.shown);
        QVERIFY(link.link->OpenLink());
        link.peer.queue("\x02"
                        "V1.0\x03");
        link.link->ReplyTimeout = 2000;
        QVERIFY(link.link->SendCommand(Link::ETX, ";"));
        QCOMPARE(link.peer.frames().last(), QByteArray("!;\r"));
    }

    void sizeExchangeFails_data() {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("message");
        QTest::newRow("silence") << QByteArray() << "Error: No response.";
        QTest::newRow("one line") << QByteArray("640\n\x03") << "Error: Invalid response.";
        QTest::newRow("CR LF") << QByteArray("640\r\n480\r\n\x03") << "Error: Invalid data.";
        QTest::newRow("zero") << QByteArray("640\n0\n\x03") << "Error: Invalid data.";
    }
    void sizeExchangeFails() {
        QFETCH(QByteArray, reply);
        QFETCH(QString, message);
        PtyPeer peer;
        ScriptedModule module(peer);
        module.setWindowSize(reply);
        PagesWindowFixture f;
        f.show(peer.path());
        QCOMPARE(f.messages, QStringList{message});
        QVERIFY(!f.shown);
        QCOMPARE(peer.frames(), QList<QByteArray>{"!G\r"});
        QVERIFY(portIsFree(peer.path()));
    }

    void windowShowsTheLoadedStartPage() {
        PtyPeer peer;
        ScriptedModule module(peer);
        module.setWindowSize("640\n480\n\x03");
        module.reply("HTML\n", {kStartPage});
        PagesWindowFixture f;
        f.show(peer.path(), [&](ModulePagesWindow& w) {
            // Loaded before the window showed: the start page was asked for, "Loading..."
            // is gone and the page is there.
            QVERIFY(peer.frames().contains("!A\r"));
            QCOMPARE(w.StatusBar->text(), QString());
            QVERIFY(f.html(w.Browser).contains("Module start"));
            QCOMPARE(w.width(), 640);
            QCOMPARE(w.height(), 480 + w.StatusBar->height());
            QCOMPARE(w.Browser->size(), QSize(640, 480));
            QVERIFY(w.isModal());
            f.screenshot(&w, "pages-window-scripted");
        });
        QVERIFY(f.shown);
        QVERIFY(f.messages.isEmpty());
        QVERIFY(!ModulePagesWindow::instance());
        QVERIFY(portIsFree(peer.path()));
    }

    void statusLine() {
        PtyPeer peer;
        ScriptedModule module(peer);
        module.setWindowSize("400\n300\n\x03");
        module.reply("HTML\n", {kStartPage});
        module.reply("\x06\n", {""});
        PagesWindowFixture f;
        f.show(peer.path(), [&](ModulePagesWindow& w) {
            QCOMPARE(f.js(w.Browser, "fetch('/apply.cgi?p1=1').then(r => r.status)").toInt(), 0);
            QVERIFY(runUntil([&] { return w.StatusBar->text() == "Uploaded"; }));
            QCOMPARE(w.StatusBar->textColour(), QColor(0, 128, 0));
            QVERIFY(w.StatusBar->panelWidth() >
                    w.StatusBar->fontMetrics().horizontalAdvance("Uploaded"));
            // Timer2 clears it; the colour stays for later texts.
            QVERIFY(runUntil([&] { return w.StatusBar->text().isEmpty(); }, 5000));
            QCOMPARE(w.StatusBar->textColour(), QColor(0, 128, 0));
        });
    }

    void waitBox() {
        PtyPeer peer;
        ScriptedModule module(peer);
        module.setWindowSize("400\n300\n\x03");
        module.reply("HTML\n", {kStartPage});
        module.reply("CMD\n", {"WAIT 10\nMeasuring the optical link..."});
        module.setBehaviour({true, false, false});
        PagesWindowFixture f;
        f.show(peer.path(), [&](ModulePagesWindow& w) {
            peer.clearReceived();
            w.Browser->load(QUrl(w.Browser->url().resolved(QUrl("/link.html"))));
            QVERIFY(runUntil([&] { return !w.WaitForm.isNull(); }));
            WaitBox* box = w.WaitForm;
            QCOMPARE(box->size(), QSize(370, 200));
            QCOMPARE(box->WaitProgressBar->maximum(), 20);
            QCOMPARE(box->WaitProgressBar->geometry(), QRect(16, 32, 330, 30));
            QCOMPARE(box->WaitPanel->text(), QString("Measuring the optical link..."));
            QCOMPARE(box->WaitPanel->geometry(), QRect(16, 72, 330, 70));
            QCOMPARE(box->WaitPanel->font().family(), QString("Arial"));
            QCOMPARE(box->WaitPanel->font().pointSize(), 14);
            QVERIFY(box->WaitPanel->font().bold());
            QCOMPARE(w.StatusBar->text(), QString("Please wait..."));
            QVERIFY(runUntil([&] { return box->WaitProgressBar->value() >= 2; }));
            f.screenshot(box, "pages-wait-box");
            // The real reply: the page shows and the box goes.
            peer.send("HTML\n<p>link measured</p>\x04");
            QVERIFY(runUntil([&] { return w.WaitForm.isNull(); }, 10000));
            QVERIFY(runUntil([&] { return f.html(w.Browser).contains("link measured"); }));
            QCOMPARE(peer.frames().count("!Blink.html\r"), 1); // nothing else on the line
        });
    }

    void keysReachThePage() {
        PtyPeer peer;
        ScriptedModule module(peer);
        module.setWindowSize("400\n300\n\x03");
        module.reply("HTML\n", {kStartPage});
        QWidget owner;
        int stolen = 0;
        auto* shortcut = new QShortcut(QKeySequence("Ctrl+A"), &owner);
        shortcut->setContext(Qt::ApplicationShortcut);
        QObject::connect(shortcut, &QShortcut::activated, [&] { ++stolen; });
        PagesWindowFixture f;
        f.show(peer.path(), [&](ModulePagesWindow& w) {
            w.activateWindow();
            w.Browser->setFocus();
            // Type only once the field really has the focus: under load the page takes time.
            QVERIFY(runUntil(
                [&] {
                    f.js(w.Browser, "document.getElementById('first').focus()");
                    return f.js(w.Browser, "document.activeElement.id").toString() == "first" &&
                           w.Browser->focusProxy() && w.Browser->focusProxy()->hasFocus();
                },
                15000));
            QWidget* keys = w.Browser->focusProxy();
            QTest::keyClicks(keys, "abcd");
            QTest::keyClick(keys, Qt::Key_Backspace);
            const QString value = "document.getElementById('first').value";
            QVERIFY(runUntil([&] { return f.js(w.Browser, value).toString() == "abc"; }, 15000));
            QTest::keyClick(keys, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClick(keys, Qt::Key_X, Qt::ControlModifier);
            QVERIFY(runUntil([&] { return f.js(w.Browser, value).toString().isEmpty(); }));
            QTest::keyClick(keys, Qt::Key_V, Qt::ControlModifier);
            QVERIFY(runUntil([&] { return f.js(w.Browser, value).toString() == "abc"; }));
            QCOMPARE(stolen, 0);
            QTest::keyClick(keys, Qt::Key_Tab);
            QVERIFY(runUntil([&] {
                return f.js(w.Browser, "document.activeElement.id").toString() == "second";
            }));
            QTest::keyClick(keys, Qt::Key_Escape);
            runFor(200);
            QVERIFY(w.isVisible()); // Escape is the page's, not a way to close the window
        });
        QVERIFY(f.shown);
    }

    void refusalInAMessageBox() {
        PtyPeer peer;
        ScriptedModule module(peer);
        module.setBehaviour({false, false, false});
        module.setWindowSize("400\n300\n\x03");
        module.reply("HTML\n", {kStartPage});
        module.reply("\x15\n", {"Value refused: p1=99"});
        PagesWindowFixture f;
        f.show(peer.path(), [&](ModulePagesWindow& w) {
            f.js(w.Browser, "fetch('/apply.cgi?p1=99')");
            QVERIFY(runUntil([&] { return !f.messages.isEmpty(); }));
        });
        QCOMPARE(f.messages, QStringList{"Value refused: p1=99"});
    }
};

ORVEX_TEST(WindowTest)
#include "window.moc"
