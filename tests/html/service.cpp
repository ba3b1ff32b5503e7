#include "html/PageService.h"
#include "html/RawChannel.h"
#include "tests/html/ScriptedModule.h"
#include "tests/support/TestMain.h"

#include <QtTest>

using namespace PagesHttp;
using Tone = PageEffects::Tone;

namespace {
struct Recorder : PageEffects {
    void ShowPageStatus(const QString& text, Tone tone) override {
        status << text;
        tones << tone;
    }
    void openWaitBox(int seconds, const QString& text) override {
        waits << seconds;
        waitTexts << text;
    }
    void closeWaitBox() override { ++closed; }
    void showRefusal(const QString& text) override { refusals << text; }

    QStringList status;
    QList<Tone> tones;
    QList<int> waits;
    QStringList waitTexts;
    int closed = 0;
    QStringList refusals;
};

struct Module {
    Module() : module(peer) {
        if (!channel.OpenRawPort(peer.path()))
            qFatal("cannot open %s", qPrintable(channel.errorString()));
        module.setBehaviour({false, false, false}); // no checksums: fewer frames to read
    }
    PageResponse get(const QByteArray& path, const QByteArray& params = {}) {
        return service.serve({PageRequest::Method::Get, path, params});
    }
    int count(const QByteArray& frame) const { return int(peer.frames().count(frame)); }

    PtyPeer peer;
    ScriptedModule module;
    RawChannel channel;
    std::atomic<bool> abort{false};
    ContentTransfer transfer{channel, abort};
    Recorder effects;
    PageService service{channel, transfer, effects, abort};
};
} // namespace

// Serving one browser request: what goes on the line, the response, the window effects.
class ServiceTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void startPage_data() {
        QTest::addColumn<QByteArray>("path");
        QTest::newRow("/") << QByteArray("/");
        QTest::newRow("/index") << QByteArray("/index");
    }
    void startPage() {
        QFETCH(QByteArray, path);
        Module m;
        m.module.reply("HTML\n", {"<p>start</p>"});
        const PageResponse r = m.get(path, "ignored=1");
        QCOMPARE(r.body, QByteArray("<p>start</p>"));
        QCOMPARE(r.contentType, QByteArray("text/html"));
        QCOMPARE(m.peer.frames().value(0), QByteArray("!A\r"));
        QCOMPARE(m.effects.status, QStringList{QString()}); // "Loading..." cleared
    }

    void documentWithItsChecksumLine() {
        Module m;
        m.module.setBehaviour({true, false, false});
        m.module.reply("GIF4-5b\n", {QByteArray("GIF8\x00", 5)});
        const PageResponse r = m.get("/a/b.gif", "x=1");
        QCOMPARE(r.body, QByteArray("GIF8"));
        QCOMPARE(r.contentType, QByteArray("image/gif"));
        const QList<QByteArray> f = m.peer.frames();
        QCOMPARE(f.value(0), PagesCodec::requestChecksumLine("a/b.gif?x=1"));
        QCOMPARE(f.value(1), QByteArray("!Ba/b.gif?x=1\r"));
        QVERIFY(m.effects.status.isEmpty()); // only the start page clears the status line
    }

    void contentTypes_data() {
        QTest::addColumn<QByteArray>("header");
        QTest::addColumn<QByteArray>("type");
        QTest::newRow("css") << QByteArray("CSS\n") << QByteArray("text/css");
        QTest::newRow("js") << QByteArray("JS\n") << QByteArray("text/js");
        QTest::newRow("other") << QByteArray("OTHER\n") << QByteArray();
        QTest::newRow("none") << QByteArray() << QByteArray();
        QTest::newRow("command") << QByteArray("CMD\n") << QByteArray();
    }
    void contentTypes() {
        QFETCH(QByteArray, header);
        QFETCH(QByteArray, type);
        Module m;
        m.module.reply(header, {"body"});
        const PageResponse r = m.get("/f");
        QCOMPARE(r.body, QByteArray("body"));
        QCOMPARE(r.contentType, type);
    }

    void silentModuleGetsTheRetryPage() {
        Module m;
        for (int i = 0; i < 3; ++i)
            m.module.silence();
        const PageResponse r = m.get("/a/b.gif", "x=1");
        QCOMPARE(m.count("!Ba/b.gif?x=1\r"), 3);
        QCOMPARE(r.body, noResponsePage("/a/b.gif", "x=1").body);
        QCOMPARE(m.effects.status, QStringList{"Error: No response."});
        QCOMPARE(m.effects.tones, QList<Tone>{Tone::Red});
    }

    void resendThriceIsInvalidData() {
        Module m;
        for (int i = 0; i < 3; ++i)
            m.module.reply("CMD\n", {"RESEND"});
        const PageResponse r = m.get("/x.html");
        QCOMPARE(m.count("!Bx.html\r"), 3);
        QCOMPARE(r.body, invalidDataPage().body);
    }

    void silenceThenResendIsInvalidDataNotEmpty() {
        // A time-out before two "RESEND"s: still no reply of the module, and the browser is
        // told so instead of getting an empty page.
        Module m;
        m.module.silence();
        m.module.reply("CMD\n", {"RESEND"});
        m.module.reply("CMD\n", {"RESEND"});
        const PageResponse r = m.get("/x.html");
        QCOMPARE(m.count("!Bx.html\r"), 3);
        QCOMPARE(r.body, invalidDataPage().body);
    }

    void secondAttemptAnswers() {
        Module m;
        m.module.silence();
        m.module.reply("HTML\n", {"late"});
        QCOMPARE(m.get("/x.html").body, QByteArray("late"));
        QCOMPARE(m.count("!Bx.html\r"), 2);
    }

    void waitShowsTheBoxUntilTheReply() {
        Module m;
        m.module.reply("CMD\n", {"WAIT 10\nMeasuring"});
        // The real reply follows a second and a half later, unasked.
        m.peer.send("HTML\n<p>done</p>\x04", 1500);
        const PageResponse r = m.get("/link.html");
        QCOMPARE(r.body, QByteArray("<p>done</p>"));
        QCOMPARE(m.effects.waits, QList<int>{10});
        QCOMPARE(m.effects.waitTexts, QStringList{"Measuring"});
        QCOMPARE(m.effects.status, QStringList{"Please wait..."});
        QCOMPARE(m.effects.closed, 1);
        QCOMPARE(m.count("!Blink.html\r"), 1);
    }

    void waitRunsOutThenTheRequestIsSentAgain() {
        Module m;
        m.module.reply("CMD\n", {"WAIT"}); // one second
        m.module.reply("HTML\n", {"again"});
        QCOMPARE(m.get("/w.html").body, QByteArray("again"));
        QCOMPARE(m.count("!Bw.html\r"), 2);
        QCOMPARE(m.effects.waits, QList<int>{1});
        QCOMPARE(m.effects.closed, 1);
    }

    void acceptedUpload() {
        Module m;
        m.module.reply("\x06\n", {""});
        const PageResponse r = m.get("/apply.cgi", "p1=3");
        QCOMPARE(r.contentType, QByteArray("text/plain"));
        QCOMPARE(m.effects.status, QStringList{"Uploaded"});
        QCOMPARE(m.effects.tones, QList<Tone>{Tone::Green});
    }

    void refusal_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("shown");
        QTest::newRow("with text") << QByteArray("Value refused: p1=99") << 1;
        QTest::newRow("without") << QByteArray() << 0;
    }
    void refusal() {
        QFETCH(QByteArray, text);
        QFETCH(int, shown);
        Module m;
        m.module.reply("\x15\n", {text});
        const PageResponse r = m.get("/apply.cgi", "p1=99");
        QCOMPARE(r.body, text);
        QCOMPARE(r.contentType, QByteArray("text/plain"));
        QCOMPARE(m.effects.refusals.size(), shown);
        if (shown)
            QCOMPARE(m.effects.refusals.first(), QString::fromLatin1(text));
    }

    void refusalCutShortGetsTheRefusalPage() {
        // The module's NAK header comes, then nothing: it refuses without saying more.
        Module m;
        for (int i = 0; i < 3; ++i)
            m.module.rawReply("\x15\n");
        const PageResponse r = m.get("/apply.cgi", "p9=1");
        QCOMPARE(r.body, refusalPage().body);
        QCOMPARE(m.count("!Bapply.cgi?p9=1\r"), 3);
        QCOMPARE(m.effects.status.value(0), QString("Error: No response."));
        QCOMPARE(m.effects.tones.value(0), Tone::Red);
    }
};

ORVEX_TEST(ServiceTest)
#include "service.moc"
