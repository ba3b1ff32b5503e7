#include "agent/HeadendStatus.h"

#include "module/Display.h"
#include "module/Parsers.h"

namespace {
QList<DiagBit> setBits(const TModule& m) {
    QList<DiagBit> bits;
    for (int i = 0; i < m.DiagBytes.size(); ++i) {
        const quint8 d = HexByte(m.DiagBytes.at(i));
        for (int b = 0; b < 8; ++b)
            if (d & (1 << b))
                bits << DiagBit{i, b, m.ExtDiag.value(8 * i + b)};
    }
    return bits;
}

// The number as the panel shows it, with '.' whatever the user's locale.
QString plainNumber(const TParam& p, qint32 raw) {
    const int d = ParamDisplay::decimalsOf(p);
    QString text = ParamDisplay::fixedText(ParamDisplay::scaled(p, raw), d);
    if (d > 0)
        text.replace(ParamDisplay::locale().decimalPoint(), QStringLiteral("."));
    return text;
}
} // namespace

void SlotStatus::takeFrom(const TModule& m) {
    type = m.TypeName;
    version = m.VersionText;
    fault = !m.healthy();
    readFaults = m.ReadFaults;
    bits = setBits(m);
    values.clear();
    // The values reply holds a row for every channel: each has its own numbers.
    const int channels = m.MultiChannel ? qBound(1, m.ChannelCount, MaxChannels) : 1;
    for (int i = 0; i < m.Params.size(); ++i) {
        const TParam& p = m.Params.at(i);
        if (p.Kind != KindNumericRO || (p.Flags & FlagHidden))
            continue;
        for (int c = 0; c < channels; ++c)
            values << ShownValue{i, p.Name, p.Units, plainNumber(p, p.Values[size_t(c)]),
                                 m.MultiChannel ? c : -1};
    }
    polled = !values.isEmpty();
    unread = false;
}

void SlotStatus::takeUnread(const TModule& m, const QStringList& missing) {
    if (!m.TypeName.isEmpty())
        type = m.TypeName;
    if (!m.VersionText.isEmpty())
        version = m.VersionText;
    fault = true;
    readFaults = m.ReadFaults + missing;
    bits.clear();
    values.clear();
    polled = false;
    unread = true;
}
