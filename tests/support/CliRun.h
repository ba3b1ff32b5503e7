#pragma once

#include "tests/support/LinkFixture.h"

#include <QCoreApplication>
#include <QProcess>
#include <QtTest>
#include <optional>

// The built orvex-cli in a fresh current directory, on the demo head-end of the simulator
// (without the line-rate pacing): given --port on it unless the arguments name a port.
struct CliRun {
    CliRun() : sim(startDemo(SimServerOptions{-1, 0, {}})) {}
    struct Result {
        int status = -1;
        QByteArray out, err;
        QStringList outLines() const { return lines(out); }
        QStringList errLines() const { return lines(err); }
        static QStringList lines(const QByteArray& b) {
            return QString::fromUtf8(b).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        }
    };
    std::unique_ptr<QProcess> start(const QStringList& args, bool withPort = true) {
        auto p = std::make_unique<QProcess>();
        p->setWorkingDirectory(dir.path());
        const QStringList port{"--port", sim->slavePath()};
        p->start(QCoreApplication::applicationDirPath() + "/orvex-cli",
                 args.contains("--port") || !withPort ? args : port + args);
        return p;
    }
    Result run(const QStringList& args, const QByteArray& input = {}, bool withPort = true) {
        auto p = start(args, withPort);
        p->waitForStarted();
        p->write(input);
        p->closeWriteChannel();
        if (!p->waitForFinished(120000))
            p->kill(), p->waitForFinished();
        return {p->exitStatus() == QProcess::NormalExit ? p->exitCode() : -1,
                p->readAllStandardOutput(), p->readAllStandardError()};
    }
    std::optional<int> committed(int subrack, int slot, int param) {
        return sim->headend().committedValue(subrack, slot, param, 0);
    }
    QString path(const QString& name) const { return dir.filePath(name); }
    QTemporaryDir dir;
    std::unique_ptr<SimServer> sim;
};
