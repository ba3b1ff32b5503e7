#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QVector>

// A head-end described as data: what each slot holds and how its module behaves on the line.
// Loaded from JSON (the schema is in sim/README.md); all texts are sent as Latin-1.

struct SimSegment {
    int first = 0; // number shown for the segment's first raw value
    int count = 0; // raw values the segment takes
    QString text;  // shown in front of the numbers
};

struct SimParamDef {
    char type = 'B';        // D, S, E, B, I or T
    quint8 flagChar = 0x40; // the byte after the type letter; 0x40 plus flag bits
    QString name;
    // "D"
    int min = 0;
    int step = 1;
    int count = 1;
    int decimals = 0;
    QString units;
    // "S"
    QVector<SimSegment> segments;
    // "E"
    QStringList items;
    // "I"
    QString text;
    // start value per channel (one entry per channel of the module)
    QVector<int> values;

    int maxValue() const;
    bool readOnly() const { return type == 'I' || type == 'T' || (flagChar & 0x04); }
    // What a panel would show for a raw value (used by the module's own pages and console).
    QString display(int raw) const;
};

struct SimPagesDef {
    QString folder; // resource path (":/...") or directory; empty: the module has no pages
    int width = 640;
    int height = 480;
    int blockSize = 400;            // content bytes per block
    QMap<QString, int> waitSeconds; // documents that first answer "WAIT n"
    QString waitText;               // text shown with such a WAIT
    bool enabled() const { return !folder.isEmpty(); }
};

struct SimConsoleDef {
    bool enabled = false;
    QString banner;
    QString prompt = QStringLiteral("> ");
    QStringList status; // lines of the "status" command; "OK ", "WARN ", "FAIL " get colours
};

struct SimModuleDef {
    QString type;
    QStringList version; // reply lines of ";": the last one is the version
    QString serial;
    char kind = 'P'; // P, T or U
    int channels = 1;
    QStringList diag; // diagnostic bytes, two hexadecimal digits each
    QStringList extDiag;
    QStringList messages;
    bool hasMarker = false;
    QString marker; // reply line of "$" ("HTML" for a module with pages)
    QVector<SimParamDef> params;
    QStringList eeprom; // EEPROM image lines; empty: the module has no special mode
    SimConsoleDef console;
    SimPagesDef pages;
    // Types that writing parameter "Z" switches to: "Z" = v selects variants[v - 1];
    // "Z" = 0 returns to this definition.
    QVector<SimModuleDef> variants;
};

struct SimSlotDef {
    int subrack = 0; // 0-based
    int slot = 0;    // 0-based, 0-15
    SimModuleDef module;
};

struct SimProfile {
    QString name;
    int resetMs = 1500; // how long a module stays silent after command "7"
    int latencyMs = 2;  // turnaround of a module before its reply
    bool pace = false;  // send at the true line rate
    QVector<SimSlotDef> modules;
    bool hasSpecial = false;
    SimModuleDef special; // answers the special address (select 0xC0 0x90)

    // Parses a profile; relative page folders are resolved against baseDir.
    // On failure returns false and explains why in *error.
    static bool fromJson(const QByteArray& json, const QString& baseDir, SimProfile* out,
                         QString* error);
    static bool fromFile(const QString& path, SimProfile* out, QString* error);
};

// The demo head-end that ships inside the program (resource ":/sim/demo.json").
SimProfile demoProfile();
