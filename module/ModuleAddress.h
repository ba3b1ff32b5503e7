#pragma once

#include <QList>
#include <QString>

// A module's place: the subrack and slot indices, 0-based. Users count both from 1: 1/1 to
// 2/16.
struct ModuleAddress {
    int subrack = 0;
    int slot = 0;
    // "1/3" for {0, 2}.
    QString name() const;
    // "1/3" → {0, 2}; false for anything else.
    static bool parse(const QString& text, ModuleAddress* out);
    friend bool operator==(const ModuleAddress&, const ModuleAddress&) = default;
};
using ModuleAddresses = QList<ModuleAddress>;

// "1/9, 2/3".
QString addressNames(const ModuleAddresses& modules);
