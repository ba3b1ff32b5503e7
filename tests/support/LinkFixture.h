#pragma once

#include "session/HeadendSession.h"
#include "sim/SimServer.h"
#include "tests/support/PtyPeer.h"
#include "tests/support/RecordingHost.h"
#include "tests/support/SimRig.h"

#include <QDir>
#include <QSettings>
#include <QTemporaryDir>
#include <memory>

// The demo head-end of the simulator (or another profile) on a pseudo-terminal, with the
// modules' reset shortened.
inline std::unique_ptr<SimServer> startDemo(const SimServerOptions& options = {},
                                            const SimProfile& profile = demoProfile()) {
    QString error;
    auto sim = SimServer::startPty(profile, &error, options);
    if (!sim)
        qFatal("simulator: %s", qPrintable(error));
    sim->headend().setResetMs(100);
    return sim;
}

// Two modules of the demo in the first slots, 1/1 its launch amplifier (LA-862), 1/2 its image
// module (NC-100): a scan through a slow line stays short.
inline SimProfile smallDemoProfile() {
    SimProfile p = demoProfile();
    p.modules.removeIf(
        [](const SimSlotDef& d) { return d.subrack != 0 || (d.slot != 5 && d.slot != 8); });
    p.modules[0].slot = 0;
    p.modules[1].slot = 1;
    return p;
}

// The bytes a head-end received, a select frame sent again at once counted once: the majority
// vote sends a third when one of the first two replies came too late, which is the machine's
// load and not what the program asked.
inline QByteArray withoutSelectRetries(QByteArray line) {
    QByteArray out, last;
    for (const QByteArray& fr : PtyPeer::takeFrames(line)) {
        if (!PtyPeer::isSelect(fr) || fr != last)
            out += fr;
        last = fr;
    }
    return out + line; // an unfinished frame
}

// The frames in the bytes a head-end received that restart a module, each with the module it
// went to (the one selected last): "&1/9" enters the special mode, "71/9" resets.
inline QStringList restartFrames(QByteArray line) {
    QStringList out;
    QString to;
    for (const QByteArray& fr : PtyPeer::takeFrames(line)) {
        if (PtyPeer::isSelect(fr))
            to = PtyPeer::readable(fr).mid(1);
        else if (fr == "!&\r" || fr == "!7\r")
            out << QChar(fr[1]) + to;
    }
    return out;
}

// A special command's reply as the module sends it: the text, "R", its checksum, CR.
inline QByteArray specReply(const QByteArray& text) {
    const QByteArray withR = text + 'R';
    return withR + Protocol::crcText(Protocol::CRC16(withR)) + "\r";
}

// A fresh current directory of the fixture's own (the settings files are read from there), and
// a scripted peer.
struct PeerInFreshDir {
    PeerInFreshDir() { QDir::setCurrent(dir.path()); }
    ~PeerInFreshDir() { QDir::setCurrent(oldDir); }
    // The port the settings name.
    static void writePort(const QString& port) {
        QSettings ini(QStringLiteral("OXLCom.ini"), QSettings::IniFormat);
        ini.setValue(QStringLiteral("ComPort/Port"), port);
    }
    QString oldDir = QDir::currentPath();
    QTemporaryDir dir;
    PtyPeer peer;
};

// A session on the scripted peer, or with sim = true on the demo head-end of the simulator.
struct LinkFixture : PeerInFreshDir {
    explicit LinkFixture(bool withSim = false, const SimServerOptions& options = {})
        : session(std::make_unique<HeadendSession>(host)), modules(session->modules()),
          state(session->state()), link(&session->link()) {
        if (withSim)
            sim = startDemo(options);
        writePort(sim ? sim->slavePath() : peer.path());
    }
    ~LinkFixture() { session.reset(); }
    SimHeadend& headend() { return sim->headend(); }
    // OpenLink on the scripted peer, the console's end that every open sends first (two bytes
    // outside a frame: two frames to the peer) taken off its record: a test sees what follows.
    bool open() {
        const bool ended = link->OpenLink() && peer.waitForFrames(2);
        peer.clearReceived();
        return ended;
    }

    std::unique_ptr<SimServer> sim;
    RecordingHost host;
    std::unique_ptr<HeadendSession> session;
    ModuleTable& modules;
    SharedState& state;
    Link* link;
};
