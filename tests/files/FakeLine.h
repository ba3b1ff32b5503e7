#pragma once

#include "link/Link.h"
#include "tests/support/LinkFixture.h"

#include <QFile>
#include <QMap>
#include <QSet>
#include <memory>
#include <mutex>

// Modules behind a scripted peer, as the file operations need them: present slots answer
// their select frame, the selected module acknowledges every command, and special commands
// are answered from a script (text before the "R"; a missing entry is silence).
struct FakeLine {
    struct Shared {
        std::mutex mutex;
        QSet<int> present;                        // subrack * 16 + slot
        QMap<QByteArray, QByteArrayList> special; // command -> replies, the last one repeats
        int selected = -1;
        int silentAfterReset = 0; // select frames ignored after a "7"
        int silentLeft = 0;
    };

    static QByteArray specReply(const QByteArray& text) {
        const QByteArray withR = text + 'R';
        return withR + QByteArray::number(Link::CRC16(withR), 16).toUpper().rightJustified(4, '0') +
               "\r";
    }
    static bool isSpecial(const QByteArray& frame) { return frame.endsWith("\n\r"); }
    // The command of a special frame: between "!" and "R" + checksum + LF CR.
    static QByteArray specialCommand(const QByteArray& frame) {
        return frame.mid(1, frame.size() - 8);
    }
    static bool isSelect(const QByteArray& frame) {
        return frame.size() == 3 && (quint8(frame[1]) & 0xF0) == 0xC0;
    }

    explicit FakeLine(LinkFixture& f) : fixture(f) {
        std::shared_ptr<Shared> s = shared;
        f.peer.setResponder([s](const QByteArray& frame) -> std::optional<PtyPeer::Reply> {
            std::lock_guard<std::mutex> lock(s->mutex);
            if (isSelect(frame)) {
                if (s->silentLeft > 0) {
                    --s->silentLeft;
                    return std::nullopt;
                }
                const int address = (quint8(frame[1]) - 0xC0) * 16 + (quint8(frame[2]) - 0x80);
                s->selected = s->present.contains(address) ? address : -1;
                if (s->selected < 0)
                    return std::nullopt;
                return PtyPeer::Reply{QByteArray("\x06")};
            }
            if (s->selected < 0)
                return std::nullopt;
            if (isSpecial(frame)) {
                const QByteArray cmd = specialCommand(frame);
                QByteArrayList* replies = nullptr;
                for (auto it = s->special.begin(); it != s->special.end(); ++it)
                    if (cmd.startsWith(it.key()))
                        replies = &it.value();
                if (!replies || replies->isEmpty())
                    return std::nullopt;
                const QByteArray text =
                    replies->size() > 1 ? replies->takeFirst() : replies->first();
                return PtyPeer::Reply{specReply(text)};
            }
            if (frame == "!7\r")
                s->silentLeft = s->silentAfterReset;
            return PtyPeer::Reply{QByteArray("\x06")};
        });
    }

    void setPresent(int subrack, int slot) {
        std::lock_guard<std::mutex> lock(shared->mutex);
        shared->present.insert(subrack * 16 + slot);
    }
    void script(const QByteArray& command, const QByteArrayList& replies) {
        std::lock_guard<std::mutex> lock(shared->mutex);
        shared->special[command] = replies;
    }
    void silentAfterReset(int frames) {
        std::lock_guard<std::mutex> lock(shared->mutex);
        shared->silentAfterReset = frames;
    }

    // The frames sent, readably: "S1/4" a select frame of subrack 1 slot 4 (1-based), "#cmd"
    // a special command, else the body between "!" and CR with LF shown as ",".
    QStringList frames() const {
        QStringList out;
        for (const QByteArray& fr : fixture.peer.frames()) {
            if (isSelect(fr))
                out << QStringLiteral("S%1/%2")
                           .arg(quint8(fr[1]) - 0xC0 + 1)
                           .arg(quint8(fr[2]) - 0x80 + 1);
            else if (isSpecial(fr))
                out << QStringLiteral("#") + QString::fromLatin1(specialCommand(fr));
            else
                out << QString::fromLatin1(fr.mid(1, fr.size() - 2))
                           .replace(QLatin1Char('\n'), QLatin1Char(','));
        }
        return out;
    }

    LinkFixture& fixture;
    std::shared_ptr<Shared> shared = std::make_shared<Shared>();
};

// A module record as the scan leaves it.
inline TModule& addModule(ModuleTable& table, int subrack, int slot, const QString& type,
                          const QString& version, quint8 kind, int channels,
                          const QVector<QVector<qint32>>& values = {}) {
    TModule& m = table.renew(slot, subrack);
    m.SlotIndex = slot;
    m.TypeName = type;
    m.VersionText = version;
    m.InfoKind = kind;
    m.ChannelCount = channels;
    m.MultiChannel = channels > 1;
    m.ParamCount = int(values.size());
    for (const QVector<qint32>& channelValues : values) {
        TParam p;
        p.MaxValue = 1000;
        for (int k = 0; k < channelValues.size(); ++k)
            p.Values[k] = channelValues[k];
        m.Params << p;
    }
    return m;
}

// Every slot of both subracks recorded empty, as after a scan that found nothing there.
inline void scanEmpty(ModuleTable& table) {
    for (int g = 0; g < 2; ++g)
        for (int s = 0; s < 16; ++s)
            table.renew(s, g).TypeName = NotInstalledText;
}

inline QByteArray fileBytes(const QString& name) {
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline bool writeFile(const QString& name, const QByteArray& bytes) {
    QFile f(name);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// Lines joined with CR LF, the last one ended too.
inline QByteArray crlf(const QByteArrayList& lines) {
    return lines.join("\r\n") + "\r\n";
}
