#pragma once

#include "link/Link.h"
#include "link/SharedState.h"
#include "module/ModuleTable.h"
#include "tests/support/PtyPeer.h"
#include "tests/support/RecordingHost.h"

#include <QDir>
#include <QSettings>
#include <QTemporaryDir>
#include <memory>

// A link on a scripted peer, in a fresh current directory of its own (the settings files
// are read from the current directory).
struct LinkFixture {
    LinkFixture() : oldDir(QDir::currentPath()) {
        QDir::setCurrent(dir.path());
        writePort(peer.path());
        link = std::make_unique<Link>(modules, state, host);
    }
    ~LinkFixture() {
        link.reset();
        QDir::setCurrent(oldDir);
    }
    static void writePort(const QString& port) {
        QSettings ini(QStringLiteral("OXLCom.ini"), QSettings::IniFormat);
        ini.setValue(QStringLiteral("ComPort/Port"), port);
    }
    // The bytes as hex pairs, for readable comparisons: "21 C1 82".
    static QByteArray hex(const QByteArray& bytes) { return bytes.toHex(' ').toUpper(); }

    QString oldDir;
    QTemporaryDir dir;
    PtyPeer peer;
    ModuleTable modules;
    SharedState state;
    RecordingHost host;
    std::unique_ptr<Link> link;
};
