#pragma once

#include <QStringList>
#include <QtTest>

// Checks of bytes and texts whose failure says what was expected and what came, as escaped
// text (\r, \n, \xNN for the other control and 8-bit bytes) around the first difference, so
// that a person reads the fault without opening the test.
//
//   EXPECT_BYTES(peer.received(), "!50\n12\r");   // equal
//   EXPECT_HAS(file, "\r\nEEPROM\r\n");            // contains (a list: contains the element)
//   EXPECT_STARTS(reply, "HTTP/1.1 400");
//   EXPECT_ENDS(sent, "!0\r!2\r!6\r");
//   EXPECT_LACKS(sent, "!5");                      // does not contain
namespace expect {

inline QByteArray escaped(const QByteArray& bytes, qsizetype from = 0) {
    QByteArray out = from > 0 ? "\"..." : "\"";
    const qsizetype end = qMin(bytes.size(), from + 400);
    for (qsizetype i = from; i < end; ++i) {
        const auto c = quint8(bytes[i]);
        if (c == '\r' || c == '\n' || c == '\\')
            out += c == '\r' ? "\\r" : c == '\n' ? "\\n" : "\\\\";
        else if (c < 0x20 || c >= 0x7F)
            out += "\\x" + QByteArray::number(c, 16).rightJustified(2, '0').toUpper();
        else
            out += char(c);
    }
    return out + (end < bytes.size() ? "\"..." : "\"");
}

// Texts as UTF-8, a list as its elements joined by " | ".
template <class T> QByteArray bytes(const T& v) {
    if constexpr (std::is_same_v<T, QStringList>)
        return v.join(QStringLiteral(" | ")).toUtf8();
    else if constexpr (std::is_same_v<T, QString>)
        return v.toUtf8();
    else
        return QByteArray(v);
}

enum How { Equal, Has, Starts, Ends, Lacks };

template <class Got, class Want>
bool check(How how, const Got& got, const Want& wanted, const char* expr, const char* file,
           int line) {
    const QByteArray g = bytes(got), w = bytes(wanted);
    bool holds = how == Equal    ? g == w
                 : how == Has    ? g.contains(w)
                 : how == Lacks  ? !g.contains(w)
                 : how == Starts ? g.startsWith(w)
                                 : g.endsWith(w);
    if constexpr (std::is_same_v<Got, QStringList>) { // an element, not a piece of one
        if (how == Has || how == Lacks)
            holds = got.contains(QString::fromUtf8(w)) == (how == Has);
    }
    if (holds)
        return true;
    qsizetype at = 0;
    while (at < g.size() && at < w.size() && g[at] == w[at])
        ++at;
    const char* const verbs[] = {"to be", "to contain", "to start with", "to end with",
                                 "not to contain"};
    const qsizetype from = how == Equal ? qMax<qsizetype>(0, at - 40) : 0;
    QByteArray text = QByteArray(expr) + ": expected " + verbs[how] + "\n   " + escaped(w, from) +
                      "\n   received (" + QByteArray::number(g.size()) + " bytes)\n   " +
                      escaped(g, how == Ends ? qMax<qsizetype>(0, g.size() - 400) : from);
    if (how == Equal)
        text += "\n   first difference at byte " + QByteArray::number(at);
    QTest::qFail(text.constData(), file, line);
    return false;
}

} // namespace expect

#define EXPECT_(how, got, want)                                                                    \
    do {                                                                                           \
        if (!expect::check(expect::how, got, want, #got, __FILE__, __LINE__))                      \
            return;                                                                                \
    } while (false)
#define EXPECT_BYTES(got, want) EXPECT_(Equal, got, want)
#define EXPECT_HAS(got, want) EXPECT_(Has, got, want)
#define EXPECT_STARTS(got, want) EXPECT_(Starts, got, want)
#define EXPECT_ENDS(got, want) EXPECT_(Ends, got, want)
#define EXPECT_LACKS(got, want) EXPECT_(Lacks, got, want)
