#pragma once

#include <QByteArray>
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
