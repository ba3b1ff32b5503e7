// The windows on a real desktop: an X server (Xvfb) and a window manager (openbox) started
// here, the demo head-end, and the user's clicks, drags and keys as real X events (xdotool).
// What only a window manager shows is checked where X has it: the windows' places, a list's
// popup, the keyboard focus.
#include "app/FileDialogs.h"
#include "app/TerminalView.h"
#include "panel/WindowFrame.h"
#include "tests/support/AppFixture.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QMenuBar>
#include <QProcess>
#include <QToolButton>
#include <QtTest>
#include <csignal>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
constexpr int kWaitMs = 30000;
const QRect kScreen(0, 0, 1024, 768);
constexpr int kCaption = 18;

// Xvfb on a display number it picks itself, with openbox managing it: started before Qt
// exists (the display must be known first), stopped at the end.
struct Desktop {
    // Starts argv; its standard output goes to the pipe's write end, which is closed here.
    void start(std::vector<std::string> argv, int out[2]) {
        const pid_t pid = fork();
        if (pid == 0) {
            dup2(out[1], STDOUT_FILENO);
            std::vector<char*> args;
            for (std::string& a : argv)
                args.push_back(a.data());
            args.push_back(nullptr);
            execvp(args[0], args.data());
            _exit(127);
        }
        close(out[1]);
        if (pid > 0)
            pids.push_back(pid);
    }
    // The next line a pipe delivers within the deadline (empty when none comes).
    static QByteArray nextLine(int fd) {
        QByteArray line;
        pollfd p{fd, POLLIN, 0};
        char c = 0;
        while (!line.endsWith('\n') && poll(&p, 1, kWaitMs) > 0 && read(fd, &c, 1) == 1)
            line += c;
        return line.trimmed();
    }
    Desktop() {
        int display[2], wm[2];
        if (pipe(display) != 0 || pipe(wm) != 0)
            return;
        start({"Xvfb", "-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"},
              display);
        const QByteArray number = nextLine(display[0]);
        if (number.isEmpty())
            return;
        qputenv("DISPLAY", ":" + number);
        // openbox runs the start-up command once it manages the screen.
        start({"openbox", "--sm-disable", "--startup", "echo managing"}, wm);
        for (QByteArray line = nextLine(wm[0]); !line.isEmpty() && !ready; line = nextLine(wm[0]))
            ready = line == "managing";
    }
    ~Desktop() {
        for (auto it = pids.rbegin(); it != pids.rend(); ++it) {
            kill(*it, SIGTERM);
            waitpid(*it, nullptr, 0);
        }
    }
    std::vector<pid_t> pids;
    bool ready = false;
};

// Runs a tool to its end while the program goes on serving its events, as it does while a
// person works.
QByteArray run(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    runUntil([&] { return p.state() == QProcess::NotRunning; }, kWaitMs);
    return p.readAllStandardOutput();
}

// Where X has a window: its top-left on the screen and its size.
QRect onScreen(const QWidget* w) {
    QMap<QByteArray, int> v; // X=, Y=, WIDTH=, HEIGHT=
    for (const QByteArray& line : run(QStringLiteral("xdotool"),
                                      {"getwindowgeometry", "--shell", QString::number(w->winId())})
                                      .split('\n'))
        v[line.left(line.indexOf('='))] = line.mid(line.indexOf('=') + 1).toInt();
    return QRect(v["X"], v["Y"], v["WIDTH"], v["HEIGHT"]);
}

QString text(const QRect& r) {
    return QStringLiteral("%1x%2 at %3,%4").arg(r.width()).arg(r.height()).arg(r.x()).arg(r.y());
}

// A real click at a point of a widget, placed where X has its window.
void click(const QWidget* w, const QPoint& at) {
    const QPoint p = onScreen(w->window()).topLeft() + w->mapTo(w->window(), at);
    run("xdotool",
        {"mousemove", "--sync", QString::number(p.x()), QString::number(p.y()), "click", "1"});
}

// Presses the main window's caption and lets it go elsewhere.
void drag(const QWidget* main, const QPoint& to) {
    const QPoint from = onScreen(main).topLeft() + QPoint(200, kCaption / 2);
    run("xdotool", {"mousemove", "--sync", QString::number(from.x()), QString::number(from.y()),
                    "mousedown", "1", "mousemove", "--sync", QString::number(to.x() + 200),
                    QString::number(to.y() + kCaption / 2), "mouseup", "1"});
}

// The frame the window manager draws around a window: left, right, top, bottom.
QByteArray frameExtents(const QWidget* w) {
    const QByteArray out =
        run(QStringLiteral("xprop"), {"-id", QString::number(w->winId()), "_NET_FRAME_EXTENTS"});
    return out.mid(out.indexOf("= ") + 2).trimmed();
}
} // namespace

#define WAIT(condition, what) QVERIFY2(runUntil([&] { return condition; }, kWaitMs), what)

class DesktopTest : public QObject {
    Q_OBJECT
    std::unique_ptr<AppFixture> f;

    TMainFrm& m() { return f->main(); }
    TCtlPanelFrm& panel() { return f->program->CtlPanelFrm; }
    TTerminalFrm& terminal() { return f->program->TerminalFrm; }

    // Every window shown has its caption (the top of its frame) inside the screen.
    void captionsOnScreen() {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (!w->isVisible() || w->windowType() == Qt::Popup || w->windowType() == Qt::ToolTip)
                continue;
            const QRect frame = onScreen(w);
            QVERIFY2(kScreen.contains(QRect(frame.topLeft(), QSize(frame.width(), kCaption))),
                     qPrintable(w->objectName() + " is " + text(frame)));
        }
    }
    // The satellite comes to sit directly above the main window, as wide as it, where X has
    // them (the window manager applies a move a little after the program asked for it).
    void onTopOfMain(const QWidget* satellite) {
        QRect s, main;
        const bool above = runUntil(
            [&] {
                s = onScreen(satellite);
                main = onScreen(&m());
                return s.bottom() + 1 == main.top() && s.left() == main.left() &&
                       s.width() == main.width();
            },
            kWaitMs);
        QVERIFY2(above,
                 qPrintable(satellite->objectName() + " " + text(s) + ", main " + text(main)));
    }
    bool consoleShows(const QString& what) {
        const VtScreen& screen = terminal().Terminal->screen();
        for (int row = 0; row < screen.rows(); ++row)
            if (screen.rowText(row).contains(what))
                return true;
        return false;
    }

private Q_SLOTS:
    void initTestCase() {
        f = std::make_unique<AppFixture>(QStringLiteral("DEMO"));
        f->start();
        QVERIFY2(f->scan() && m().state().FoundCount > 0, "the scan did not end");
    }
    void cleanup() { captionsOnScreen(); } // after each step

    // The first list opened after the panel was placed drops down right under its box.
    void listOpensUnderItsBox() {
        m().sbM[0]->click();
        WAIT(panel().isVisible() && onScreen(&panel()).bottom() + 1 == onScreen(&m()).top(),
             "the panel is not above the main window");
        auto* list = panel().content()->findChild<QComboBox*>();
        QVERIFY(list);
        click(list, list->rect().center());
        QWidget* popup = list->view()->window();
        WAIT(popup->isVisible(), "the list did not open");
        const QRect box(onScreen(&panel()).topLeft() + list->mapTo(&panel(), QPoint()),
                        list->size());
        const QRect drop = onScreen(popup);
        QVERIFY2(qAbs(drop.top() - box.bottom() - 1) <= 2 && qAbs(drop.left() - box.left()) <= 2,
                 qPrintable("popup " + text(drop) + " under box " + text(box)));
        run("xdotool", {"key", "Escape"});
        WAIT(!popup->isVisible(), "the list did not close");
        onTopOfMain(&panel());
    }

    // Dragged against the top of the screen, the main window stops where the panel above
    // it still has its caption on the screen.
    void stackStaysOnScreen() {
        drag(&m(), QPoint(onScreen(&m()).left(), 0));
        WAIT(onScreen(&panel()).top() == kScreen.top() &&
                 onScreen(&panel()).bottom() + 1 == onScreen(&m()).top(),
             qPrintable("panel " + text(onScreen(&panel())) + ", main " + text(onScreen(&m()))));
    }

    // A console opened from its slot stands above the main window at once, and keeps the
    // keyboard after the main window has been dragged.
    void consoleKeepsTheKeyboard() {
        m().sbM[8]->click();
        WAIT(terminal().isVisible() && m().state().TerminalMode, "the console did not open");
        onTopOfMain(&terminal());
        QVERIFY(terminal().caption().contains(QLatin1String("Module #1/9:")));
        const QPoint to = onScreen(&m()).topLeft() + QPoint(0, 100);
        drag(&m(), to);
        WAIT(onScreen(&m()).topLeft() == to && onScreen(&terminal()).bottom() + 1 == to.y(),
             "the console did not follow the main window");
        WAIT(QApplication::focusWidget() == terminal().Terminal, "the console lost the keyboard");
        run("xdotool", {"type", "help"});
        WAIT(consoleShows(QStringLiteral("> help")), "typed keys did not reach the console");
    }

    // "exit" ends the console; the panel of the single terminal button comes back one row
    // high.
    void panelHeightAfterExit() {
        const int rereads = f->rereads;
        run("xdotool", {"key", "Return", "type", "exit\r"});
        WAIT(!terminal().isVisible() && panel().isVisible() && f->rereads > rereads,
             "the console did not end");
        WAIT(onScreen(&panel()).height() == 65, qPrintable(text(onScreen(&panel()))));
        onTopOfMain(&panel());
    }

    // Message boxes and the about box are dialogs without caption buttons: the window manager
    // draws no frame around them, their own caption bar is on the screen.
    void dialogsWithoutCaptionButtons() {
        MessageDialog box(&m(), QStringLiteral("ORVEX Link"), QStringLiteral("Done."), false);
        for (QDialog* d : {static_cast<QDialog*>(m().frmAbout), static_cast<QDialog*>(&box)}) {
            d->show();
            WAIT(frameExtents(d).contains(','), "the window manager does not manage the dialog");
            QCOMPARE(frameExtents(d), QByteArray("0, 0, 0, 0"));
            d->hide();
        }
    }

    // Out of the "File" menu by Esc, however it was opened, its keys act (the menu bar keeps
    // the focus then).
    void fileKeysAfterEsc_data() {
        QTest::addColumn<QStringList>("open");
        QTest::newRow("mouse") << QStringList();
        QTest::newRow("Alt+F") << QStringList{"key", "alt+f"};
        QTest::newRow("F10") << QStringList{"key", "F10"};
    }
    void fileKeysAfterEsc() {
        QFETCH(QStringList, open);
        run("xdotool", {"windowactivate", "--sync", QString::number(m().winId())});
        WAIT(m().isActiveWindow(), "the main window is not active");
        if (open.isEmpty())
            click(m().menuBar, m().menuBar->actionGeometry(m().mnFile->menuAction()).center());
        else
            run("xdotool", open);
        WAIT(m().mnFile->isVisible(), "the menu did not open");
        FileDialogs::setAnswer(QString()); // cancelled
        run("xdotool", {"key", "Escape", "ctrl+s"});
        WAIT(!FileDialogs::asked().isEmpty(), "Ctrl+S did nothing");
        QCOMPARE(FileDialogs::asked().first().title, QString("Save current configuration"));
    }

    void cleanupTestCase() {
        FileDialogs::clearAnswer();
        f.reset();
    }
};

int main(int argc, char** argv) {
    Desktop desktop;
    if (!desktop.ready) {
        fprintf(stderr, "desktop: Xvfb with openbox did not start\n");
        return 1;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication app(argc, argv);
    Program::setLook();
    DesktopTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "windows.moc"
