#pragma once

#include "session/HeadendSession.h"
#include "sim/SimServer.h"
#include "tests/support/PtyPeer.h"
#include "tests/support/RecordingHost.h"

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

// A module's faults as the function sets them: faults([](SimFaults& f) { f.absent = true; }).
template <class Set> SimFaults faults(Set set) {
    SimFaults f;
    set(f);
    return f;
}

// The bytes as hex pairs, for readable comparisons: "21 C1 82".
inline QByteArray hex(const QByteArray& bytes) {
    return bytes.toHex(' ').toUpper();
}

// The frames in the bytes a head-end received that restart a module, each with the module it
// went to (the one selected last): "&1/9" enters the special mode, "71/9" resets.
inline QStringList restartFrames(const QByteArray& line) {
    QStringList out;
    QString to;
    for (qsizetype i = 0; i + 2 < line.size(); ++i) {
        const quint8 b = quint8(line[i + 1]);
        if (line[i] == '!' && (b == 0xC0 || b == 0xC1))
            to = QStringLiteral("%1/%2").arg(b - 0xBF).arg(quint8(line[i + 2]) - 0x7F);
        else if (line[i] == '!' && (b == '7' || b == '&') && line[i + 2] == '\r')
            out << QChar(b) + to;
    }
    return out;
}

// A special command's reply as the module sends it: the text, "R", its checksum, CR.
inline QByteArray specReply(const QByteArray& text) {
    const QByteArray withR = text + 'R';
    return withR + Protocol::crcText(Protocol::CRC16(withR)) + "\r";
}

// A session in a fresh current directory of its own (the settings files are read from there),
// on a scripted peer, or with sim = true on the demo head-end of the simulator.
struct LinkFixture {
    explicit LinkFixture(bool withSim = false, const SimServerOptions& options = {})
        : oldDir(QDir::currentPath()), session(std::make_unique<HeadendSession>(host)),
          modules(session->modules()), state(session->state()), link(&session->link()) {
        QDir::setCurrent(dir.path());
        if (withSim)
            sim = startDemo(options);
        writePort(sim ? sim->slavePath() : peer.path());
    }
    ~LinkFixture() {
        session.reset();
        QDir::setCurrent(oldDir);
    }
    static void writePort(const QString& port) {
        QSettings ini(QStringLiteral("OXLCom.ini"), QSettings::IniFormat);
        ini.setValue(QStringLiteral("ComPort/Port"), port);
    }
    SimHeadend& headend() { return sim->headend(); }
    // OpenLink on the scripted peer, the console's end that every open sends first (two bytes
    // outside a frame: two frames to the peer) taken off its record: a test sees what follows.
    bool open() {
        const bool ended = link->OpenLink() && peer.waitForFrames(2);
        peer.clearReceived();
        return ended;
    }

    QString oldDir;
    QTemporaryDir dir;
    PtyPeer peer;
    std::unique_ptr<SimServer> sim;
    RecordingHost host;
    std::unique_ptr<HeadendSession> session;
    ModuleTable& modules;
    SharedState& state;
    Link* link;
};
