#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QFile>
#include <QString>

// A whole file's bytes (empty when it cannot be read), and a file written whole.
inline QByteArray fileBytes(const QString& name) {
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
inline bool writeFile(const QString& name, const QByteArray& bytes) {
    QFile f(name);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// A module file's block (subrack 1, slot 4, type TESTMOD, three values), and lines with one
// of them changed.
inline const QByteArrayList kModuleBlock{"MOD",   "0 3 1",     "TESTMOD", "V1.00",
                                         "PARAM", "12 0 250 ", "MODEND"};
inline QByteArrayList changedLine(QByteArrayList lines, int at, const QByteArray& text) {
    lines[at] = text;
    return lines;
}
