#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>
#include <array>

// Parameter kinds, from the type letter of the info block.
enum ParamKind : quint8 {
    KindNumeric = 0,   // "D"
    KindNumericRO = 1, // "D" with flag 0x04
    KindSegmented = 2, // "S"
    KindEnum = 3,      // "E"
    KindOnOff = 4,     // "B"
    KindInfo = 5,      // "I"
    KindTerminal = 6,  // "T"
    KindError = 7,     // a line whose header was not found
};

// Bits of TParam::Flags.
enum ParamFlag : quint8 {
    FlagReload = 0x01,   // a list change makes the module be re-read
    FlagHidden = 0x02,   // no control, not counted in VisibleCount
    FlagReadOnly = 0x04, // control disabled; "D" becomes kind 1
    FlagTypable = 0x10,  // a numeric value may be typed
    FlagMarker = 0x40,   // always set in a valid header
};

// Info kinds, from the letter of info block line 2.
enum InfoKindValue : quint8 { InfoParam = 0, InfoTerminal = 1, InfoImage = 2 };

constexpr int MaxChannels = 100;

// One parameter of a module; a value type, copied whole by GetParam/SetParam.
struct TParam {
    quint8 Kind = 0;
    quint8 Flags = 0;
    QString Name;
    QString Units;
    qint32 SegCount = 0;
    qint32 Step = 0;
    std::array<qint32, MaxChannels> Values{};
    qint32 MaxValue = 0;
    QString Text;
    qint32 Decimals = 0;
    QVector<qint32> Mins;
    QVector<qint32> Ranges;
    QStringList Items;
    QStringList SegNames;
};

// What the program knows about the module in one slot. Texts hold the line's 8-bit
// characters one to one (Latin-1), so they go back to the line and to files unchanged.
class TModule {
public:
    qint32 SlotIndex = 0;
    QString TypeName;
    QString VersionText;
    quint8 InfoKind = 0;
    bool MultiChannel = false;
    QString SerialText;
    QString HtmlMarker;
    qint32 CurChannel = 0;
    qint32 ChannelCount = 0;
    qint32 ParamCount = 0;
    qint32 VisibleCount = 0;
    qint32 DiagCount = 0;
    QStringList DiagBytes;
    bool DiagFault = false;
    QVector<TParam> Params;
    QStringList Messages;
    qint32 ErrorCount = 0;
    QStringList ExtDiag;
    bool ExtDiagValid = false;
    // Replies of the scan that could not be read at all (a parser's error): shown after the
    // scan and in the module's report. Parsers do not empty it; a new record starts empty.
    QStringList ReadFaults;
    // The parts of the record whose last read failed (no reply, or one that could not be
    // read): such a record does not hold what the module holds.
    enum UnreadPart : quint8 { InfoPart = 1, ValuesPart = 2 };
    quint8 UnreadParts = 0;
    bool Dirty = false;
    const QByteArray* ParseBuf = nullptr; // the reply being parsed (only while a parser runs)

    // Shown as clear (green): its diagnostic bytes are clear and every reply could be read.
    bool healthy() const { return !DiagFault && ReadFaults.isEmpty(); }
    bool hasHtmlPages() const { return HtmlMarker.toUpper() == QLatin1String("HTML"); }
    // A console module: its info is a terminal, or one of its parameters is.
    bool hasConsole() const {
        if (InfoKind == InfoTerminal)
            return true;
        for (const TParam& p : Params)
            if (p.Kind == KindTerminal)
                return true;
        return false;
    }
    // CurChannel := channel when Values has an entry for it. A module that names any other
    // channel leaves CurChannel as it was, so it always indexes Values.
    void selectChannel(qint32 channel) {
        if (channel >= 0 && channel < MaxChannels)
            CurChannel = channel;
    }
};

// Text of an empty slot's TypeName (with its leading blank).
inline const QString NotInstalledText = QStringLiteral(" Not installed");
