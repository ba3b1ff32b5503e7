#include "module/ModuleJson.h"

namespace {
// No reply of a module holds more segments than it has bytes.
constexpr qsizetype kMostSegments = 65536;

QJsonArray ints(const qint32* from, qsizetype n) {
    QJsonArray out;
    for (qsizetype i = 0; i < n; ++i)
        out.append(from[i]);
    return out;
}
template <class C> void readInts(const QJsonValue& v, C& into, qsizetype limit) {
    const QJsonArray a = v.toArray();
    if constexpr (requires { into.resize(0); })
        into.resize(std::min(a.size(), limit));
    for (qsizetype i = 0; i < std::min(a.size(), limit); ++i)
        into[i] = a.at(i).toInt();
}
QJsonArray texts(const QStringList& list) {
    return QJsonArray::fromStringList(list);
}
QStringList readTexts(const QJsonValue& v) {
    QStringList out;
    for (const QJsonValue& t : v.toArray())
        out << t.toString();
    return out;
}

QJsonObject writeParam(const TParam& p) {
    // The values of channels beyond the last one set are zero: not sent.
    qsizetype used = p.Values.size();
    while (used > 0 && p.Values[size_t(used - 1)] == 0)
        --used;
    return {{"kind", p.Kind},
            {"flags", p.Flags},
            {"name", p.Name},
            {"units", p.Units},
            {"segCount", p.SegCount},
            {"step", p.Step},
            {"values", ints(p.Values.data(), used)},
            {"maxValue", p.MaxValue},
            {"text", p.Text},
            {"decimals", p.Decimals},
            {"mins", ints(p.Mins.constData(), p.Mins.size())},
            {"ranges", ints(p.Ranges.constData(), p.Ranges.size())},
            {"items", texts(p.Items)},
            {"segNames", texts(p.SegNames)}};
}

TParam readParam(const QJsonObject& o) {
    TParam p;
    p.Kind = quint8(o["kind"].toInt());
    p.Flags = quint8(o["flags"].toInt());
    p.Name = o["name"].toString();
    p.Units = o["units"].toString();
    p.SegCount = o["segCount"].toInt();
    p.Step = o["step"].toInt();
    readInts(o["values"], p.Values, MaxChannels);
    p.MaxValue = o["maxValue"].toInt();
    p.Text = o["text"].toString();
    p.Decimals = o["decimals"].toInt();
    readInts(o["mins"], p.Mins, kMostSegments);
    readInts(o["ranges"], p.Ranges, kMostSegments);
    p.Items = readTexts(o["items"]);
    p.SegNames = readTexts(o["segNames"]);
    return p;
}
} // namespace

QJsonObject ModuleJson::write(const TModule& m) {
    QJsonArray params;
    for (const TParam& p : m.Params)
        params.append(writeParam(p));
    return {{"slotIndex", m.SlotIndex},
            {"typeName", m.TypeName},
            {"versionText", m.VersionText},
            {"infoKind", m.InfoKind},
            {"multiChannel", m.MultiChannel},
            {"serialText", m.SerialText},
            {"htmlMarker", m.HtmlMarker},
            {"curChannel", m.CurChannel},
            {"channelCount", m.ChannelCount},
            {"paramCount", m.ParamCount},
            {"visibleCount", m.VisibleCount},
            {"diagCount", m.DiagCount},
            {"diagBytes", texts(m.DiagBytes)},
            {"diagFault", m.DiagFault},
            {"params", params},
            {"messages", texts(m.Messages)},
            {"errorCount", m.ErrorCount},
            {"extDiag", texts(m.ExtDiag)},
            {"extDiagValid", m.ExtDiagValid},
            {"readFaults", texts(m.ReadFaults)},
            {"unreadParts", m.UnreadParts},
            {"dirty", m.Dirty}};
}

TModule ModuleJson::read(const QJsonObject& o) {
    TModule m;
    m.SlotIndex = o["slotIndex"].toInt();
    m.TypeName = o["typeName"].toString();
    m.VersionText = o["versionText"].toString();
    m.InfoKind = quint8(o["infoKind"].toInt());
    m.MultiChannel = o["multiChannel"].toBool();
    m.SerialText = o["serialText"].toString();
    m.HtmlMarker = o["htmlMarker"].toString();
    m.ChannelCount = o["channelCount"].toInt();
    m.selectChannel(o["curChannel"].toInt());
    m.ParamCount = o["paramCount"].toInt();
    m.VisibleCount = o["visibleCount"].toInt();
    m.DiagCount = o["diagCount"].toInt();
    m.DiagBytes = readTexts(o["diagBytes"]);
    m.DiagFault = o["diagFault"].toBool();
    for (const QJsonValue& p : o["params"].toArray())
        m.Params << readParam(p.toObject());
    m.Messages = readTexts(o["messages"]);
    m.ErrorCount = o["errorCount"].toInt();
    m.ExtDiag = readTexts(o["extDiag"]);
    m.ExtDiagValid = o["extDiagValid"].toBool();
    m.ReadFaults = readTexts(o["readFaults"]);
    m.UnreadParts = quint8(o["unreadParts"].toInt());
    m.Dirty = o["dirty"].toBool();
    return m;
}

QJsonArray ModuleJson::writeAddresses(const ModuleAddresses& list) {
    QJsonArray out;
    for (const ModuleAddress& a : list)
        out.append(QJsonArray{a.subrack, a.slot});
    return out;
}

ModuleAddresses ModuleJson::readAddresses(const QJsonValue& list) {
    ModuleAddresses out;
    for (const QJsonValue& a : list.toArray())
        if (const ModuleAddress at{a[0].toInt(-1), a[1].toInt(-1)};
            at.subrack >= 0 && at.subrack < 2 && at.slot >= 0 && at.slot < 16)
            out << at;
    return out;
}
