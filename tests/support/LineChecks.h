#pragma once

#include "html/ModulePages.h"
#include "link/ConsoleSession.h"
#include "sim/SimServer.h"
#include "tests/support/EventLoop.h"
#include "tests/support/Expect.h"
#include "tests/support/LinkFixture.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QtTest>

// What the demo head-end's console (NC-100) and module pages (OTX-1310) must do on any line.
namespace LineChecks {
// The console of the module in `slot` of subrack 1: its prompt, a command and its answer, and
// the console closed at the module.
inline void console(LinkFixture& f, SimServer& sim, int slot) {
    QVERIFY(f.link->SelectModule(0, slot));
    ConsoleSession session(*f.link, f.state, f.host);
    QByteArray shown;
    QObject::connect(&session, &ConsoleSession::text, [&](const QByteArray& t) { shown += t; });
    session.open();
    QVERIFY(runUntil([&] { return shown.contains("nc100> "); }, 10000));
    for (const char c : QByteArray("status\r"))
        session.type(quint16(c));
    QVERIFY2(runUntil([&] { return shown.contains("NTP last sync"); }, 10000), shown);
    session.close();
    QVERIFY(runUntil([&] { return !sim.headend().state(0, slot).consoleOpen; }));
}

// The start page of 2/1 through a server on a channel of its own, which takes the line by its
// name, as the windows do: the module selected, the link's port closed (last in a test), the
// channel given the select frame for when the line was another's meanwhile.
// whileOpen(port) looks at what else holds while the page window is open.
inline void pages(LinkFixture& f, const QString& name,
                  const std::function<void(quint16)>& whileOpen = {}) {
    QVERIFY(f.link->SelectModule(1, 0));
    f.link->closePort();
    ModulePages channel;
    // A server that lends its line to one client at a time lets go of the connection just
    // closed in its own time and turns a new one away until then: tried until it is free.
    QVERIFY2(runUntil([&] { return channel.OpenRawPort(name, Link::selectFrame(1, 0)); }, 30000),
             qPrintable(channel.errorString()));
    QCOMPARE(channel.exchangeWindowSize(), QByteArray("640\n520\n"));
    QString error;
    QVERIFY2(channel.startServer(&error, 0), qPrintable(error));
    QNetworkAccessManager net;
    std::unique_ptr<QNetworkReply> r(net.get(QNetworkRequest(QUrl(channel.startAddress()))));
    runUntil([&] { return r->isFinished(); }, 20000);
    EXPECT_HAS(r->readAll(), "<title>Optical Transmitter OTX-1310</title>");
    if (whileOpen)
        whileOpen(channel.serverPort());
}
} // namespace LineChecks
