// The pages window on a scripted module, offscreen: the size exchange, then one window's
// life with its start page, the keyboard, the wait box and the refusal box, and the line
// given back.
#include "html/RawChannel.h"
#include "html/ui/ModulePagesWindow.h"
#include "html/ui/PageStatusBar.h"
#include "html/ui/PagesMessage.h"
#include "html/ui/WaitBox.h"
#include "tests/html/PagesRig.h"
#include "tests/support/TestMain.h"

#include <QLabel>
#include <QShortcut>
#include <QWebEngineView>
#include <QtTest>

namespace {
const QByteArray kStartPage = "<html><body><p id=t>Module start</p>"
                              "<input id=first></body></html>";

bool portIsFree(const QString& path) {
    RawChannel channel;
    return channel.OpenRawPort(path);
}

// Runs ShowModulePages (which returns only when its window has closed) with the message
// boxes recorded; body runs once the window is visible, then the window is closed.
struct Pages {
    explicit Pages(const QByteArray& windowSize) : module(peer, {true, false}, windowSize) {
        module.reply("HTML\n" + kStartPage + "\x04");
        PagesMessage::setRecorder([this](const QString& text) { messages << text; });
    }
    ~Pages() { PagesMessage::setRecorder({}); }
    void show(std::function<void(ModulePagesWindow&)> body = {}, const QString& port = {}) {
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            ModulePagesWindow* w = ModulePagesWindow::instance();
            if (shown || !w || !w->isVisible())
                return;
            shown = true;
            if (body)
                body(*w);
            if (ModulePagesWindow::instance())
                ModulePagesWindow::instance()->close();
        });
        poll.start(20);
        ShowModulePages(port.isEmpty() ? peer.path() : port, {});
    }
    // Runs a script in the page and waits for its result.
    static QVariant js(QWebEngineView* view, const QString& script) {
        QVariant result;
        bool done = false;
        view->page()->runJavaScript(script, [&](const QVariant& v) {
            result = v;
            done = true;
        });
        runUntil([&] { return done; }, 15000);
        return result;
    }
    static bool shows(QWebEngineView* view, const QString& text) {
        const QString html = "document.documentElement ? document.documentElement.outerHTML : ''";
        return runUntil([&] { return js(view, html).toString().contains(text); }, 15000);
    }
    PtyPeer peer;
    ScriptedModule module;
    QStringList messages;
    bool shown = false;
};
} // namespace

class WindowTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // A module that asks for a window taller than any screen gets none: a box says why, and
    // the line is free again.
    void sizeExchangeFails() {
        Pages p(QByteArray("640\n5000\n\x03"));
        p.show();
        QCOMPARE(p.messages, QStringList{"Error: Invalid data."});
        QVERIFY(!p.shown);
        QCOMPARE(p.peer.frames(), QList<QByteArray>{"!G\r"});
        QVERIFY(portIsFree(p.peer.path()));
        Pages missing({});
        missing.show({}, "/dev/does-not-exist");
        QCOMPARE(missing.messages, QStringList{"COM Port opening error"});
        QVERIFY(!missing.shown && !ModulePagesWindow::instance());
    }

    // One window on a module: the start page is loaded before the window shows, in a window
    // of the module's size; keys reach the page, not the program's shortcuts (Ctrl+A selects
    // the typed text, which Ctrl+X cuts), and Escape does not close the window; WAIT opens
    // the box with the module's text until the real reply comes; a refusal goes to a message
    // box. The line is free again afterwards.
    void aWindowsLife() {
        QWidget owner;
        int stolen = 0;
        auto* shortcut = new QShortcut(QKeySequence("Ctrl+A"), &owner);
        shortcut->setContext(Qt::ApplicationShortcut);
        QObject::connect(shortcut, &QShortcut::activated, [&] { ++stolen; });
        Pages p("640\n480\n\x03");
        p.module.reply("CMD\nWAIT 10\n<b>Measuring</b> the optical link...\x04");
        p.module.reply("\x15\nValue refused: p1=99\x04");
        p.show([&](ModulePagesWindow& w) {
            QCOMPARE(w.StatusBar->text(), QString()); // "Loading..." is gone
            QVERIFY(Pages::shows(w.Browser, "Module start"));
            QCOMPARE(w.Browser->size(), QSize(640, 480));
            QCOMPARE(w.height(), 480 + w.StatusBar->height());

            w.activateWindow();
            w.Browser->setFocus();
            // Type only once the field really has the focus: under load the page takes time.
            QVERIFY(runUntil(
                [&] {
                    Pages::js(w.Browser, "document.getElementById('first').focus()");
                    return Pages::js(w.Browser, "document.activeElement.id").toString() ==
                               "first" &&
                           w.Browser->focusProxy() && w.Browser->focusProxy()->hasFocus();
                },
                15000));
            QWidget* keys = w.Browser->focusProxy();
            const QString value = "document.getElementById('first').value";
            QTest::keyClicks(keys, "abc");
            QTest::keyClick(keys, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClick(keys, Qt::Key_X, Qt::ControlModifier);
            QVERIFY(
                runUntil([&] { return Pages::js(w.Browser, value).toString().isEmpty(); }, 15000));
            QCOMPARE(stolen, 0);
            QTest::keyClick(keys, Qt::Key_Escape);
            settle();
            QVERIFY(w.isVisible());

            w.Browser->load(QUrl(w.Browser->url().resolved(QUrl("/link.html"))));
            QVERIFY(runUntil([&] { return !w.WaitForm.isNull(); }));
            WaitBox* box = w.WaitForm;
            QCOMPARE(box->WaitPanel->text(), QString("<b>Measuring</b> the optical link..."));
            QCOMPARE(box->WaitPanel->textFormat(), Qt::PlainText); // as written, not markup
            QVERIFY(runUntil([&] { return box->WaitProgressBar->value() >= 2; }));
            p.peer.send("HTML\n<p>link measured</p>\x04");
            QVERIFY(runUntil([&] { return w.WaitForm.isNull(); }));
            QVERIFY(Pages::shows(w.Browser, "link measured"));

            Pages::js(w.Browser, "fetch('/apply.cgi?p1=99')");
            QVERIFY(runUntil([&] { return !p.messages.isEmpty(); }));
        });
        QVERIFY(p.shown);
        QCOMPARE(p.messages, QStringList{"Value refused: p1=99"});
        QVERIFY(!ModulePagesWindow::instance() && portIsFree(p.peer.path()));
    }

    // A module's refusal text is shown as written, not as markup (its wait text: above).
    void refusalAsWritten() {
        const QString text("<b>Not now</b>");
        QWidget owner;
        Qt::TextFormat shown = Qt::RichText;
        QTimer::singleShot(0, this, [&] {
            auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            QVERIFY(box);
            if (auto* label = box->findChild<QLabel*>("text"); label && label->text() == text)
                shown = label->textFormat();
            box->accept();
        });
        PagesMessage::show(&owner, text);
        QCOMPARE(shown, Qt::PlainText);
    }
};

ORVEX_TEST(WindowTest)
#include "window.moc"
