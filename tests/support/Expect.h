#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QtTest>

// Checks of bytes and texts whose failure says what was expected and what came, as escaped
// text (\r, \n, \xNN for the other control and 8-bit bytes) with the first difference marked,
// so that a person reads the fault without opening the test.
//
//   EXPECT_BYTES(peer.received(), "!50\n12\r");   // equal
//   EXPECT_HAS(file, "\r\nEEPROM\r\n");            // contains (a list: contains the element)
//   EXPECT_STARTS(reply, "HTTP/1.1 400");
//   EXPECT_ENDS(sent, "!0\r!2\r!6\r");
namespace expect {

inline QByteArray escaped(const QByteArray& bytes, qsizetype from = 0, qsizetype limit = 400) {
    QByteArray out = from > 0 ? "..." : "";
    const qsizetype end = qMin(bytes.size(), from + limit);
    for (qsizetype i = from; i < end; ++i) {
        const auto c = quint8(bytes[i]);
        if (c == '\r' || c == '\n' || c == '\\')
            out += c == '\r' ? "\\r" : c == '\n' ? "\\n" : "\\\\";
        else if (c < 0x20 || c >= 0x7F)
            out += "\\x" + QByteArray::number(c, 16).rightJustified(2, '0').toUpper();
        else
            out += char(c);
    }
    return '"' + out + (end < bytes.size() ? "\"..." : "\"");
}

inline QByteArray bytes(const QByteArray& b) {
    return b;
}
inline QByteArray bytes(const char* s) {
    return QByteArray(s);
}
inline QByteArray bytes(const QString& s) {
    return s.toUtf8();
}
inline QByteArray bytes(const QStringList& l) {
    return l.join(QStringLiteral(" | ")).toUtf8();
}

enum class How { Equal, Has, Starts, Ends };

inline bool holds(How how, const QByteArray& got, const QByteArray& want) {
    switch (how) {
    case How::Equal:
        return got == want;
    case How::Has:
        return got.contains(want);
    case How::Starts:
        return got.startsWith(want);
    case How::Ends:
        return got.endsWith(want);
    }
    return false;
}
template <class Got> bool holds(How how, const Got& got, const QByteArray& want) {
    return holds(how, bytes(got), want);
}
inline bool holds(How how, const QStringList& got, const QByteArray& want) {
    return how == How::Has ? got.contains(QString::fromUtf8(want)) : holds(how, bytes(got), want);
}

template <class Got, class Want>
bool check(How how, const Got& got, const Want& want, const char* expr, const char* file,
           int line) {
    const QByteArray w = bytes(want);
    if (holds(how, got, w))
        return true;
    const QByteArray g = bytes(got);
    qsizetype at = 0;
    while (at < g.size() && at < w.size() && g[at] == w[at])
        ++at;
    static const char* const verbs[] = {"to be", "to contain", "to start with", "to end with"};
    const qsizetype from = how == How::Equal ? qMax<qsizetype>(0, at - 40) : 0;
    QByteArray text = QByteArray(expr) + ": expected " + verbs[int(how)] + "\n   " +
                      escaped(w, how == How::Equal ? from : 0) + "\n   received (" +
                      QByteArray::number(g.size()) + " bytes)\n   " +
                      escaped(g, how == How::Ends ? qMax<qsizetype>(0, g.size() - 400) : from);
    if (how == How::Equal)
        text += "\n   first difference at byte " + QByteArray::number(at);
    QTest::qFail(text.constData(), file, line);
    return false;
}

} // namespace expect

#define EXPECT_(how, got, want)                                                                    \
    do {                                                                                           \
        if (!expect::check(expect::How::how, got, want, #got, __FILE__, __LINE__))                 \
            return;                                                                                \
    } while (false)
#define EXPECT_BYTES(got, want) EXPECT_(Equal, got, want)
#define EXPECT_HAS(got, want) EXPECT_(Has, got, want)
#define EXPECT_STARTS(got, want) EXPECT_(Starts, got, want)
#define EXPECT_ENDS(got, want) EXPECT_(Ends, got, want)
