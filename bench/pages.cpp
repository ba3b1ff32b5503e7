// Module pages benchmark: a 100 KB picture and a 20 KB page fetched through the local HTTP
// server from the simulator paced at the true line rate (115200 baud 8E2: 9600 bytes a
// second) with a stated module turnaround, checksums on in both directions. Prints the
// measured fetch time, the floor the line allows (bytes exchanged / 9600 B/s + one
// turnaround per answered frame) and their ratio.
//
//   build/bin/bench_pages [turnaround-ms]
#include "html/ModulePages.h"
#include "sim/SimServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <cstdio>

namespace {
constexpr int kSubrack = 1, kSlot = 0; // the demo head-end's module with pages

// The demo head-end whose pages module serves the files of folder, in blocks large enough
// for a 100 KB picture to fit the 40 blocks of one reply.
SimProfile profileServing(const QString& folder) {
    SimProfile p = demoProfile();
    for (SimSlotDef& d : p.modules)
        if (d.subrack == kSubrack && d.slot == kSlot) {
            d.module.pages.folder = folder;
            d.module.pages.blockSize = 4096;
        }
    p.pace = true;
    return p;
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QByteArray picture(int size) {
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator gen(42);
    for (char& c : bytes)
        c = char(gen.bounded(256));
    return bytes;
}

QByteArray page(int size) {
    QByteArray text = "<html><body>\n";
    for (int row = 0; text.size() < size - 20; ++row)
        text += "<p>Row " + QByteArray::number(row) + ": laser bias 42.5 mA, power 9.5 dBm</p>\n";
    return text.left(size - 15) + "</body></html>\n";
}

void fetch(SimServer& sim, ModulePages& pages, const char* name, const QByteArray& expected,
           int turnaround) {
    QNetworkAccessManager net;
    sim.headend().clearLog();
    QElapsedTimer clock;
    clock.start();
    QNetworkReply* reply = net.get(QNetworkRequest(QUrl(pages.startAddress() + name)));
    while (!reply->isFinished())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    const double measured = clock.nsecsElapsed() / 1e6;
    const QByteArray body = reply->readAll();
    const QByteArray in = sim.headend().received();
    const QByteArray out = sim.headend().sent();
    const int answered = int(in.count('!'));
    const double floor = (in.size() + out.size()) * 1000.0 / 9600.0 + answered * turnaround;
    std::printf("%-10s %6lld B: fetch %7.0f ms, floor %7.0f ms (%lld B on the line, %d frames), "
                "ratio %.3f %s\n",
                name, qlonglong(body.size()), measured, floor, qlonglong(in.size() + out.size()),
                answered, measured / floor, body == expected ? "" : "(WRONG CONTENT)");
    delete reply;
}
} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int turnaround = argc > 1 ? std::atoi(argv[1]) : 2;
    QTemporaryDir dir;
    const QByteArray big = picture(100 * 1024);
    const QByteArray text = page(20 * 1024);
    if (!writeFile(dir.filePath("big.gif"), big) || !writeFile(dir.filePath("page.html"), text))
        return 1;
    QString error;
    SimServerOptions options;
    options.latencyMs = turnaround;
    options.pace = 1;
    auto sim = SimServer::startPty(profileServing(dir.path()), &error, options);
    if (!sim) {
        std::printf("simulator: %s\n", qPrintable(error));
        return 1;
    }
    {
        RawChannel select; // the main window leaves the module selected
        select.OpenRawPort(sim->slavePath());
        select.write(QByteArray("!") + char(0xC0 + kSubrack) + char(0x80 + kSlot));
        select.readByte(1000);
    }
    ModulePages pages;
    if (!pages.OpenRawPort(sim->slavePath()) || !pages.startServer(&error)) {
        std::printf("pages: %s %s\n", qPrintable(pages.errorString()), qPrintable(error));
        return 1;
    }
    std::printf("line 9600 B/s, module turnaround %d ms, checksums on\n", turnaround);
    fetch(*sim, pages, "big.gif", big, turnaround);
    fetch(*sim, pages, "page.html", text, turnaround);
    return 0;
}
