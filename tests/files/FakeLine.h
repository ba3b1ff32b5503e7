#pragma once

#include "files/FileFormat.h"
#include "files/LoadSteps.h"
#include "files/SaveLoad.h"
#include "tests/support/Expect.h"
#include "tests/support/LinkFixture.h"

#include <memory>

#include <QFile>
#include <QMap>
#include <QSet>
#include <mutex>

// Modules behind the scripted peer of a link fixture, as the file operations need them: present
// slots answer their select frame, the selected module acknowledges every command, and special
// commands are answered from a script (text before the "R"; the last reply repeats; none:
// silence).
struct FakeLine {
    struct Script {
        std::mutex mutex;
        QSet<int> present; // subrack * 16 + slot
        QMap<QByteArray, QByteArrayList> special;
        int selected = -1;
        int silentAfterReset = 0; // select frames ignored after a "7"
        int silentLeft = 0;
        bool refusesSpecialMode = false;
    };

    static bool isSelect(const QByteArray& fr) {
        return fr.size() == 3 && (quint8(fr[1]) & 0xF0) == 0xC0;
    }
    static bool isSpecial(const QByteArray& fr) { return fr.endsWith("\n\r"); }

    explicit FakeLine(LinkFixture& f) : fixture(f) {
        f.peer.setResponder([s = shared](const QByteArray& fr) -> std::optional<PtyPeer::Reply> {
            std::lock_guard lock(s->mutex);
            if (isSelect(fr)) {
                if (s->silentLeft > 0 && s->silentLeft--)
                    return std::nullopt;
                const int address = (quint8(fr[1]) - 0xC0) * 16 + (quint8(fr[2]) - 0x80);
                s->selected = s->present.contains(address) ? address : -1;
            }
            if (s->selected < 0 || (fr == "!&\r" && s->refusesSpecialMode))
                return std::nullopt;
            if (isSpecial(fr)) {
                QByteArrayList* replies = nullptr;
                for (auto it = s->special.begin(); it != s->special.end(); ++it)
                    replies = fr.mid(1).startsWith(it.key()) ? &it.value() : replies;
                if (!replies || replies->isEmpty())
                    return std::nullopt;
                return PtyPeer::Reply{
                    specReply(replies->size() > 1 ? replies->takeFirst() : replies->first())};
            }
            if (fr == "!7\r")
                s->silentLeft = s->silentAfterReset;
            return PtyPeer::Reply{"\x06"};
        });
    }

    void setPresent(int subrack, int slot) {
        std::lock_guard lock(shared->mutex);
        shared->present.insert(subrack * 16 + slot);
    }
    void script(const QByteArray& command, const QByteArrayList& replies) {
        std::lock_guard lock(shared->mutex);
        shared->special[command] = replies;
    }
    template <class Set> void configure(Set set) {
        std::lock_guard lock(shared->mutex);
        set(*shared);
    }

    // The frames sent, readably: "S1/4" a select frame of subrack 1 slot 4 (1-based), "#cmd"
    // a special command, else the body between "!" and CR with LF shown as ",".
    QStringList frames() const {
        QStringList out;
        for (const QByteArray& fr : fixture.peer.frames()) {
            if (isSelect(fr))
                out << QStringLiteral("S%1/%2").arg(quint8(fr[1]) - 0xBF).arg(quint8(fr[2]) - 0x7F);
            else if (isSpecial(fr))
                out << "#" + QString::fromLatin1(fr.mid(1, fr.size() - 8));
            else
                out << QString::fromLatin1(fr.mid(1, fr.size() - 2)).replace('\n', ',');
        }
        return out;
    }
    QString sent() const { return frames().join(' '); }

    LinkFixture& fixture;

    std::shared_ptr<Script> shared = std::make_shared<Script>();
};

// Lines joined with CR LF, the last one ended too.
inline QByteArray crlf(const QByteArrayList& lines) {
    return lines.join("\r\n") + "\r\n";
}

// A module record as the scan leaves it; values[param][channel].
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
