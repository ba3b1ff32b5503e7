#pragma once

#include "sim/SimHeadend.h"
#include "sim/SimProfile.h"

#include <QPair>
#include <QTest>
#include <QVector>

// Records what a head-end puts on the line, so a test can feed frames and read the replies
// without a pty.
class SimTestLine : public SimLine {
public:
    void send(const QByteArray& bytes, int delayMs) override { items << qMakePair(bytes, delayMs); }
    void drop() override { ++drops; }
    // Everything sent since the last call.
    QByteArray take() {
        QByteArray all;
        for (const auto& item : items)
            all += item.first;
        items.clear();
        return all;
    }

    QVector<QPair<QByteArray, int>> items;
    int drops = 0;
};

inline SimProfile profileFrom(const QByteArray& json, const QString& baseDir = QString()) {
    SimProfile p;
    QString error;
    if (!SimProfile::fromJson(json, baseDir, &p, &error))
        qFatal("test profile rejected: %s", qPrintable(error));
    return p;
}

// A head-end wired to a recorder; ask() sends one frame and returns what came back.
struct SimRig {
    explicit SimRig(const SimProfile& profile) : headend(profile) { headend.setLine(&line); }
    QByteArray ask(const QByteArray& frame) {
        headend.feed(frame);
        return line.take();
    }
    QByteArray select(int subrack, int slot) {
        return ask(QByteArray("!") + char(0xC0 + subrack) + char(0x80 + slot));
    }
    QByteArray command(const QByteArray& body) { return ask("!" + body + "\r"); }

    SimTestLine line;
    SimHeadend headend;
};

// CRC-16/MODBUS written again here, so that the simulator's own routine is checked against
// something it does not share.
inline quint16 testCrc(const QByteArray& data) {
    quint32 crc = 0xFFFF;
    for (quint8 byte : data)
        for (int i = 0; i < 8; ++i, byte >>= 1)
            crc = ((crc ^ byte) & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
    return static_cast<quint16>(crc);
}
