#pragma once

#include "sim/SimProfile.h"

#include <QByteArray>
#include <QStringList>
#include <QVector>

// The info block that a module of this definition sends in reply to "0".
QByteArray simInfoBlock(const SimModuleDef& def);

// What one module remembers: its type, the values it works with and those in its EEPROM, its
// EEPROM image and the special mode. Replies are returned as bytes; the caller puts them on
// the line. Not thread-safe: the head-end serialises access.
class SimModule {
public:
    explicit SimModule(const SimModuleDef& base);

    const SimModuleDef& def() const;
    // The definition the module was made from (its type before any "5Z").
    const SimModuleDef& base() const { return m_base; }
    int variant() const { return m_variant; }
    int channel() const { return m_channel; }

    QByteArray infoBlock() const { return simInfoBlock(def()); }
    QByteArray versionReply() const;
    QByteArray diagReply() const;
    QByteArray extDiagReply() const;
    QByteArray messagesReply() const;
    QByteArray markerReply() const;
    QByteArray serialReply() const;
    QByteArray valuesReply() const;

    // Command "5": param is the decimal index or "Z", value a signed decimal text. False when
    // the module would stay silent (unknown parameter, value out of range, bad text). A value
    // in range for a read-only, information or terminal parameter is taken and ignored.
    bool writeValue(const QByteArray& param, const QByteArray& value);
    void commit();
    // Restart: back to the committed values; an image written since "06" becomes the EEPROM.
    void reset();
    // Factory values, also written to the EEPROM.
    void loadDefaults();

    bool enterSpecialMode();
    void leaveSpecialMode() { m_special = false; }
    bool specialMode() const { return m_special; }
    // A checksummed special command (frame body without "!" and CR). Empty when the module
    // stays silent. busyRepeats: how often each image line is answered "01" first.
    QByteArray special(const QByteArray& body, int busyRepeats);

    int value(int param, int channel) const;
    int committedValue(int param, int channel) const;
    QVector<QVector<int>> values() const { return m_values; }
    QVector<QVector<int>> committedValues() const { return m_committed; }
    QStringList eeprom() const { return m_eeprom; }
    QStringList diag() const { return m_diag; }
    void setDiag(const QStringList& bytes) { m_diag = bytes; }
    // Writes a raw value as the module's own pages do (range-checked, then committed).
    bool setFromPage(int param, int value);
    // A measured (read-only) value changes by itself, on every channel; false out of range.
    bool setMeasured(int param, int value);
    // Every measured number moves one step up or down, as real ones wander.
    void wander();
    int commits() const { return m_commits; }
    int resets() const { return m_resets; }

private:
    void applyVariant(int variant);
    QVector<QVector<int>> defaults() const;
    bool storeValue(int param, int value);
    static QByteArray specialReply(const QByteArray& text);

    SimModuleDef m_base;
    int m_variant = 0;
    int m_channel = 0;
    int m_committedChannel = 0;
    QVector<QVector<int>> m_values;    // [param][channel]
    QVector<QVector<int>> m_committed; // what survives a reset
    QStringList m_diag;
    QStringList m_eeprom;
    QStringList m_pending; // image lines received since "06"
    bool m_imageStarted = false;
    int m_dumpCursor = 0;
    int m_busyServed = 0;
    unsigned m_wanders = 0;
    bool m_special = false;
    int m_commits = 0;
    int m_resets = 0;
};
