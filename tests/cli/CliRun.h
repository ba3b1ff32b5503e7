#pragma once

#include "sim/SimServer.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

// Runs the built orvex-cli in a fresh current directory, against the demo head-end of the
// simulator on a pseudo-terminal (without the line-rate pacing).
struct CliRun {
    struct Result {
        int status = -1;
        QByteArray out;
        QByteArray err;
        QStringList errLines() const {
            return QString::fromUtf8(err).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        }
        QStringList outLines() const {
            return QString::fromUtf8(out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        }
    };

    CliRun() {
        QString error;
        SimServerOptions options;
        options.pace = 0;
        sim = SimServer::startPty(demoProfile(), &error, options);
        if (!sim)
            qFatal("the simulator does not start: %s", qPrintable(error));
    }

    QString path(const QString& name) const { return dir.filePath(name); }

    // Starts orvex-cli with --port on the simulator, for a command that runs until stopped.
    std::unique_ptr<QProcess> start(const QStringList& args) {
        auto p = std::make_unique<QProcess>();
        p->setWorkingDirectory(dir.path());
        p->start(QCoreApplication::applicationDirPath() + QStringLiteral("/orvex-cli"),
                 QStringList{QStringLiteral("--port"), sim->slavePath()} + args);
        return p;
    }

    // Runs orvex-cli with --port on the simulator (unless the arguments name a port, or
    // withPort is false).
    Result run(QStringList args, const QByteArray& input = {}, bool closeInput = true,
               bool withPort = true) {
        if (withPort && !args.contains(QStringLiteral("--port")))
            args = QStringList{QStringLiteral("--port"), sim->slavePath()} + args;
        QProcess p;
        p.setWorkingDirectory(dir.path());
        p.start(QCoreApplication::applicationDirPath() + QStringLiteral("/orvex-cli"), args);
        if (!p.waitForStarted())
            return {};
        p.write(input);
        if (closeInput)
            p.closeWriteChannel();
        if (!p.waitForFinished(120000)) {
            p.kill();
            p.waitForFinished();
            return {};
        }
        Result r;
        r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.out = p.readAllStandardOutput();
        r.err = p.readAllStandardError();
        return r;
    }

    std::optional<int> committed(int subrack, int slot, int param, int channel = 0) {
        return sim->headend().committedValue(subrack, slot, param, channel);
    }

    QTemporaryDir dir;
    std::unique_ptr<SimServer> sim;
};
