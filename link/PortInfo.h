#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>

// A port as a person recognises it: besides its name, what the system knows of the device
// behind it (the adapter's description, maker and serial number, and its stable name below
// /dev/serial/by-id, which stays the same whichever USB socket the adapter is plugged into).
struct PortInfo {
    QString name;         // as the program stores it: "ttyUSB0", "COM1", a path, "DEMO", ...
    QString device;       // the device it opens ("/dev/ttyUSB0"); empty for remote and DEMO
    QString description;  // "FT232R USB UART"
    QString manufacturer; // "FTDI"
    QString serialNumber; // "A10KX3ZB"
    QString byId;         // "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10KX3ZB-if00-port0"

    // What is known besides the name, one text: "FT232R USB UART, FTDI, serial A10KX3ZB,
    // /dev/serial/by-id/usb-..."; empty when nothing is.
    QString details() const;
    QJsonObject toJson() const;
};

namespace Ports {
// Where udev keeps the stable names of serial devices.
QString byIdFolder();
// The machine's serial ports, sorted by name, each described, and the demo head-end last
// when the program has one.
QList<PortInfo> list(const QString& byIdDir = byIdFolder());
// What is known of any port name: a listed port, "COMn", a device path, a by-id path (its
// device found through the link), a remote name (the name only).
PortInfo describe(const QString& portName, const QString& byIdDir = byIdFolder());
// "" when the path names a character device (a serial port, a terminal), else why it cannot
// be used as a port.
QString checkDevice(const QString& path);
// Why a device could not be opened, from the error number of open(): the system's text, and
// for "Permission denied" whose group may open it and that the user must join it and log in
// again.
QString openFailure(const QString& device, int err);
// The message of a port that cannot be opened: the program's own "Please select proper COM
// Port" and, below it, the port and the reason (the port's error text, "name: reason").
QString notOpenedText(const QString& portError);
} // namespace Ports
