#include "module/Parsers.h"
#include "module/ReplyBytes.h"

using namespace Reply;

namespace {

// One pass over an info block: position, parameter index, visible count, and whether the
// block still counts as valid.
struct InfoParse {
    TModule& m;
    int p = 1;
    int i = 0;
    int v = 0;
    bool valid = true;

    QString field(char delimiter) {
        QString token;
        ReadToken(m, token, p, delimiter);
        return token;
    }
    // Unreadable numbers leave the record's field as it was.
    bool number(qint32& value) { return readNumber(m, p, value); }
};

template <class... Lists> void oneEntry(Lists&... lists) {
    (lists.resize(1), ...);
}

void readHead(InfoParse& s) {
    TModule& m = s.m;
    m.TypeName = s.field(LF);

    const int line2At = s.p;
    const QString line2 = s.field(LF);
    if (line2.isEmpty())
        throw ParseError(QStringLiteral("line 2 at position %1 is empty").arg(line2At));
    if (line2[0] == u'P')
        m.InfoKind = InfoParam;
    else if (line2[0] == u'T')
        m.InfoKind = InfoTerminal;
    else if (line2[0] == u'U')
        m.InfoKind = InfoImage;
    qint32 channels = 0;
    if (!toInteger(line2.mid(1), channels))
        throw ParseError(QStringLiteral("line 2 at position %1 has no channel count: \"%2\"")
                             .arg(line2At)
                             .arg(line2));
    m.ChannelCount = channels;
    m.MultiChannel = channels > 1;

    const QString line3 = s.field(LF);
    if (!toNumber(line3, m.DiagCount)) {
        addError(m, QStringLiteral("Bad numeric data format: ") + line3);
        s.valid = false;
    }
    sizeDiagBytes(m);
}

void readNumeric(InfoParse& s, TParam& r, quint8 flagChar) {
    oneEntry(r.Mins, r.Ranges, r.SegNames);
    r.Kind = (flagChar & FlagReadOnly) ? KindNumericRO : KindNumeric;
    r.Name = s.field(LF);
    s.number(r.Mins[0]);
    s.number(r.Step);
    qint32 count = 0;
    if (s.number(count)) {
        r.Ranges[0] = count;
        r.MaxValue = saturate(qint64(count) - 1);
    } else {
        r.MaxValue = 0;
    }
    s.number(r.Decimals);
    r.Units = s.field(CR);
}

void readSegmented(InfoParse& s, TParam& r) {
    r.Kind = KindSegmented;
    r.MaxValue = 0;
    r.Name = s.field(LF);
    const int cr = find(s.m, s.p, CR);
    r.SegCount = count(s.m, s.p, cr, ETB);
    r.Mins.resize(r.SegCount);
    r.Ranges.resize(r.SegCount);
    r.SegNames.resize(r.SegCount);
    r.Step = 1;
    for (int j = 0; byteAt(s.m, s.p) != CR; ++j) {
        if (j >= r.SegCount)
            throw ParseError(
                QStringLiteral("segment %1 at position %2 is one more than the ETB bytes counted")
                    .arg(j + 1)
                    .arg(s.p));
        s.number(r.Mins[j]);
        s.number(r.Ranges[j]);
        r.MaxValue = saturate(qint64(r.MaxValue) + r.Ranges[j]);
        r.SegNames[j] = s.field(ETB);
    }
    r.MaxValue = saturate(qint64(r.MaxValue) - 1);
    ++s.p;
}

void readEnumerated(InfoParse& s, TParam& r) {
    r.Items.clear();
    oneEntry(r.Mins, r.Ranges, r.SegNames);
    r.Kind = KindEnum;
    r.Name = s.field(LF);
    const int cr = find(s.m, s.p, CR);
    const int items = count(s.m, s.p, cr, LF);
    r.Items.resize(items);
    r.Ranges[0] = items;
    r.MaxValue = items - 1;
    for (int j = 0; byteAt(s.m, s.p) != CR; ++j) {
        if (j >= items)
            throw ParseError(
                QStringLiteral("item text at position %1 has no LF before the CR at %2")
                    .arg(s.p)
                    .arg(cr));
        r.Items[j] = s.field(LF);
    }
    ++s.p;
}

void readOnOff(InfoParse& s, TParam& r) {
    r.Items.clear();
    oneEntry(r.Mins, r.Ranges);
    r.Kind = KindOnOff;
    r.Name = s.field(CR);
    r.Step = 1;
    r.Mins[0] = 0;
    r.Ranges[0] = 2;
    r.MaxValue = 1;
}

void readInformation(InfoParse& s, TParam& r) {
    oneEntry(r.Mins, r.Ranges, r.SegNames);
    r.Kind = KindInfo;
    r.Name = s.field(LF);
    r.Step = 1;
    r.Text = s.field(LF);
    r.Mins[0] = 0;
    r.Ranges[0] = 0;
    r.MaxValue = 0;
    // The line must end here; stepping over any other byte would start the next line inside
    // this one's text.
    if (byteAt(s.m, s.p) != CR)
        throw ParseError(QStringLiteral("no CR at position %1 after an information text").arg(s.p));
    ++s.p;
}

void readTerminal(InfoParse& s, TParam& r) {
    oneEntry(r.Mins, r.Ranges);
    r.Kind = KindTerminal;
    r.Name = s.field(CR);
    r.Step = 1;
    r.Mins[0] = 0;
    r.Ranges[0] = 0;
    r.MaxValue = 0;
}

// A line that does not start with "@": the record is marked and the next "@" is looked for.
// The search ends at the reply's ETX, so a line is never taken from an earlier reply.
void skipToHeader(InfoParse& s, TParam& r) {
    r.Kind = KindError;
    oneEntry(r.Mins, r.Ranges, r.SegNames);
    addError(s.m, QStringLiteral("Parameter info header not found"));
    ++s.i;
    s.p = find(s.m, s.p, '@', true);
}

void readParamLine(InfoParse& s) {
    TParam& r = s.m.Params[s.i];
    if (byteAt(s.m, s.p) != '@')
        return skipToHeader(s, r);
    const int headerAt = s.p++;
    const QString header = s.field(LF);
    if (header.size() < 2)
        throw ParseError(
            QStringLiteral("parameter header at position %1 is shorter than two characters")
                .arg(headerAt));
    const quint8 flagChar = quint8(header[1].unicode());
    if (flagChar & FlagMarker) {
        r.Flags = flagChar;
    } else {
        s.m.Messages << QStringLiteral("Parameter flags format error");
        r.Flags = FlagMarker;
    }
    if (!(r.Flags & FlagHidden))
        ++s.v;
    switch (header[0].unicode()) {
    case u'D':
        readNumeric(s, r, flagChar);
        break;
    case u'S':
        readSegmented(s, r);
        break;
    case u'E':
        readEnumerated(s, r);
        break;
    case u'B':
        readOnOff(s, r);
        break;
    case u'I':
        readInformation(s, r);
        break;
    case u'T':
        readTerminal(s, r);
        break;
    default:
        addError(s.m, QStringLiteral("Can not recognise parameter type"));
        s.valid = false;
        return;
    }
    ++s.i;
}

void readParamLines(InfoParse& s) {
    TModule& m = s.m;
    const int etx = find(m, s.p, ETX);
    const int lines = count(m, s.p, etx, CR);
    m.Params.resize(lines);
    m.ParamCount = lines;
    while (byteAt(m, s.p) != ETX && s.valid) {
        // Header search can skip a CR, so a block may hold more lines than CR bytes.
        if (s.i >= m.Params.size())
            throw ParseError(
                QStringLiteral("parameter line at position %1 is beyond the %2 lines ended by CR")
                    .arg(s.p)
                    .arg(lines));
        readParamLine(s);
        m.VisibleCount = s.v;
    }
}

} // namespace

void ParseInfoBlock(TModule& m, const QByteArray& buffer) {
    parse(m, buffer, "Info block", [&m] {
        m.MultiChannel = false;
        InfoParse s{m};
        if (limit(m) == 0 || byteAt(m, 0) != STX) {
            addError(m, QStringLiteral("Bad Info Block format: missing STX"));
            s.valid = false;
        } else {
            readHead(s);
            readParamLines(s);
        }
        if (!s.valid)
            addError(m, QStringLiteral("Errors in module info block"));
    });
}
