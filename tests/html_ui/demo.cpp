#include "html/RawChannel.h"
#include "tests/html_ui/PagesWindowFixture.h"
#include "tests/support/TestMain.h"

#include <QtTest>

namespace {
// The module with pages of the demo head-end, selected as the main window leaves it.
void selectPagesModule() {
    RawChannel line;
    QVERIFY2(line.OpenRawPort("DEMO"), qPrintable(line.errorString()));
    line.write(QByteArray("!") + char(0xC1) + char(0x80)); // subrack 2, slot 1
    QCOMPARE(line.readByte(1000), 0x06);
}

bool waitForText(QWebEngineView* view, const QString& text) {
    return runUntil([&] { return PagesWindowFixture::html(view).contains(text); }, 15000);
}
} // namespace

// The demo head-end's pages in the browser window, offscreen.
class DemoWindowTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void pagesOfTheDemoModule() {
        selectPagesModule();
        PagesWindowFixture f;
        f.show("DEMO", [&](ModulePagesWindow& w) {
            QVERIFY(f.html(w.Browser).contains("Optical Transmitter OTX-1310"));
            const QString pictures =
                "Array.from(document.images).every(i => i.complete && i.naturalWidth > 0)";
            QVERIFY(runUntil([&] { return f.js(w.Browser, pictures).toBool(); }, 15000));
            QCOMPARE(f.js(w.Browser, "document.images.length").toInt(), 2);
            QCOMPARE(w.size(), QSize(640, 520 + w.StatusBar->height()));
            f.screenshot(&w, "pages-window-demo");

            // The settings form, submitted by the browser.
            f.js(w.Browser, "document.querySelector('a[href=\"settings.html\"]').click()");
            QVERIFY(waitForText(w.Browser, "<h1>Settings</h1>"));
            QVERIFY(runUntil([&] { return f.js(w.Browser, "omi.options.length").toInt() > 0; }));
            f.js(w.Browser, "document.forms[0].p4.value = '0'; document.forms[0].submit()");
            QVERIFY(runUntil([&] { return w.StatusBar->text() == "Uploaded"; }, 15000));
            QCOMPARE(w.StatusBar->textColour(), QColor(0, 128, 0));
            f.screenshot(&w, "pages-window-demo-settings");

            // The rewritten local link leads to a page the module needs time for.
            f.js(w.Browser, "history.back()");
            QVERIFY(waitForText(w.Browser, "Optical link test"));
            f.js(w.Browser, "document.querySelector('a[href*=\"linktest\"]').click()");
            QVERIFY(runUntil([&] { return !w.WaitForm.isNull(); }, 15000));
            f.screenshot(&w, "pages-window-demo-wait");
            QVERIFY(waitForText(w.Browser, "Link OK"));
            QVERIFY(runUntil([&] { return w.WaitForm.isNull(); }));
        });
        QVERIFY(f.shown);
        QVERIFY(f.messages.isEmpty());
        // The line is free again.
        RawChannel again;
        QVERIFY(again.OpenRawPort("DEMO"));
    }
};

ORVEX_TEST(DemoWindowTest)
#include "demo.moc"
