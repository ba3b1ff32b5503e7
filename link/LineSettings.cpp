#include "link/LineSettings.h"

#include <QSettings>

namespace {
const QString kSection = QStringLiteral("ComPort");
const QString kRemoteKey = QStringLiteral("RemotePorts/Names");

void loadKey(QSettings& ini, const char* key, const QStringList& allowed, QString& value) {
    const QVariant v = ini.value(QLatin1String(key));
    if (v.isValid() && (allowed.isEmpty() || allowed.contains(v.toString())))
        value = v.toString();
}
} // namespace

const QStringList& LineSettings::baudRates() {
    static const QStringList list{"110",    "300",    "600",    "1200",  "2400",  "4800",
                                  "9600",   "14400",  "19200",  "38400", "56000", "57600",
                                  "115200", "128000", "256000", "Custom"};
    return list;
}
const QStringList& LineSettings::stopBitsTexts() {
    static const QStringList list{"1", "1.5", "2"};
    return list;
}
const QStringList& LineSettings::dataBitsTexts() {
    static const QStringList list{"5", "6", "7", "8"};
    return list;
}
const QStringList& LineSettings::parityTexts() {
    static const QStringList list{"None", "Odd", "Even", "Mark", "Space"};
    return list;
}
const QStringList& LineSettings::flowControlTexts() {
    static const QStringList list{"Hardware", "Software", "None", "Custom"};
    return list;
}

void LineSettings::load(QSettings& ini) {
    ini.beginGroup(kSection);
    loadKey(ini, "Port", {}, Port);
    loadKey(ini, "BaudRate", baudRates(), BaudRate);
    loadKey(ini, "StopBits", stopBitsTexts(), StopBits);
    loadKey(ini, "DataBits", dataBitsTexts(), DataBits);
    loadKey(ini, "Parity", parityTexts(), Parity);
    loadKey(ini, "FlowControl", flowControlTexts(), FlowControl);
    ini.endGroup();
    if (ini.contains(kRemoteKey))
        RemotePorts = ini.value(kRemoteKey).toStringList();
}

void LineSettings::store(QSettings& ini) const {
    ini.beginGroup(kSection);
    ini.setValue("Port", Port);
    ini.setValue("BaudRate", BaudRate);
    ini.setValue("StopBits", StopBits);
    ini.setValue("DataBits", DataBits);
    ini.setValue("Parity", Parity);
    ini.setValue("FlowControl", FlowControl);
    ini.endGroup();
    if (!RemotePorts.isEmpty())
        ini.setValue(kRemoteKey, RemotePorts);
    ini.sync();
}

void LineSettings::applyFixed() {
    DataBits = QStringLiteral("8");
    Parity = QStringLiteral("Even");
    StopBits = QStringLiteral("2");
    BaudRate = QStringLiteral("115200");
    FlowControl = QStringLiteral("None");
}
