#pragma once

#include "app/Program.h"
#include "html/ui/PagesMessage.h"
#include "tests/support/EventLoop.h"
#include "tests/support/PtyPeer.h"

#include <QDir>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>
#include <memory>

// The whole program on a port of the test's choosing, in a fresh current directory.
struct AppFixture {
    explicit AppFixture(const QString& port = {}, const QStringList& args = {"orvex-link"})
        : oldDir(QDir::currentPath()) {
        QDir::setCurrent(dir.path());
        QSettings ini(QStringLiteral("OXLCom.ini"), QSettings::IniFormat);
        ini.setValue(QStringLiteral("ComPort/Port"), port.isEmpty() ? peer.path() : port);
        ini.sync();
        arguments = args;
    }
    ~AppFixture() {
        PagesMessage::setRecorder({});
        program.reset();
        QDir::setCurrent(oldDir);
    }
    // Creates the windows and lets the first idle call run the initialisation.
    TMainFrm& start() {
        program = std::make_unique<Program>();
        TMainFrm& m = program->MainFrm;
        m.autoCloseMessages = true;
        PagesMessage::setRecorder([&m](const QString& text) { m.shownMessages << text; });
        m.setArguments(arguments);
        runUntil([&] { return m.state().IdleState != 0; });
        return m;
    }
    TMainFrm& main() { return program->MainFrm; }
    // Saves a picture of the window when ORVEX_SCREENSHOTS names a folder.
    static void screenshot(QWidget* w, const QString& name) {
        const QString dir = qEnvironmentVariable("ORVEX_SCREENSHOTS");
        if (!dir.isEmpty())
            w->grab().save(dir + QLatin1Char('/') + name + QStringLiteral(".png"));
    }

    QString oldDir;
    QTemporaryDir dir;
    PtyPeer peer;
    QStringList arguments;
    std::unique_ptr<Program> program;
};

// Presses "Scan" and runs the work loop until the scan has ended.
inline void scan(TMainFrm& m) {
    m.btRestart->click();
    QVERIFY(runUntil([&] { return m.state().IdleState != 2; }, 60000));
}
