#pragma once

#include <QString>
#include <QStringList>

class QSettings;

// The settings file of the port, by bare name in the current directory. Other settings of the
// program keep sections of their own there.
inline const QString PortSettingsFile = QStringLiteral("OXLCom.ini");

// The basic settings group of the serial port as the settings file "OXLCom.ini" stores it,
// with the value texts of the file. Unknown or missing texts leave a value unchanged.
struct LineSettings {
    QString Port;
    QString BaudRate = QStringLiteral("9600");
    QString StopBits = QStringLiteral("1"); // the design value; OpenLink makes it 2
    QString DataBits = QStringLiteral("8");
    QString Parity = QStringLiteral("None");
    QString FlowControl = QStringLiteral("None");
    // Terminal server ports the user has typed (tcp://HOST:PORT, rfc2217://HOST:PORT), kept
    // beside the machine's ports in section "RemotePorts".
    QStringList RemotePorts;

    static const QStringList& baudRates();
    static const QStringList& stopBitsTexts();
    static const QStringList& dataBitsTexts();
    static const QStringList& parityTexts();
    static const QStringList& flowControlTexts();

    // Section "ComPort" of an INI file (and the remembered remote ports).
    void load(QSettings& ini);
    void store(QSettings& ini) const;

    // The fixed line of the head-end: 115200 baud, 8 data bits, even parity, 2 stop bits.
    void applyFixed();
};
