#include "link/PortInfo.h"

#include "link/DemoHeadend.h"
#include "link/Transport.h"

#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>
#include <cerrno>
#include <cstring>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
PortInfo demoPort() {
    return {DemoHeadend::portName(), {}, QStringLiteral("demo head-end (simulator)"), {}, {}, {}};
}

// The stable name below dir whose link leads to the device, if there is one.
QString byIdOf(const QString& canonical, const QString& dir) {
    if (canonical.isEmpty())
        return {};
    const QFileInfoList links =
        QDir(dir).entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo& link : links)
        if (link.isSymLink() && link.canonicalFilePath() == canonical)
            return link.absoluteFilePath();
    return {};
}

void takeFrom(const QSerialPortInfo& info, PortInfo* p) {
    p->description = info.description();
    p->manufacturer = info.manufacturer();
    p->serialNumber = info.serialNumber();
}

QString userName() {
    const passwd* pw = ::getpwuid(::geteuid());
    return pw ? QString::fromLocal8Bit(pw->pw_name) : qEnvironmentVariable("USER", "$USER");
}
} // namespace

QString PortInfo::details() const {
    QStringList parts;
    for (const QString& part : {description, manufacturer})
        if (!part.isEmpty() && !parts.contains(part))
            parts << part;
    if (!serialNumber.isEmpty())
        parts << QStringLiteral("serial ") + serialNumber;
    if (!byId.isEmpty() && byId != name)
        parts << byId;
    if (!device.isEmpty() && parts.isEmpty() && device != name &&
        device != QStringLiteral("/dev/") + name)
        parts << device; // "COM1" is /dev/ttyS0, a by-id name its adapter
    return parts.join(QStringLiteral(", "));
}

QJsonObject PortInfo::toJson() const {
    return {{"name", name},
            {"device", device},
            {"description", description},
            {"manufacturer", manufacturer},
            {"serialNumber", serialNumber},
            {"byId", byId}};
}

QString Ports::byIdFolder() {
    return QStringLiteral("/dev/serial/by-id");
}

QList<PortInfo> Ports::list(const QString& byIdDir) {
    QList<PortInfo> ports;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        PortInfo p{info.portName(), info.systemLocation(), {}, {}, {}, {}};
        takeFrom(info, &p);
        p.byId = byIdOf(QFileInfo(p.device).canonicalFilePath(), byIdDir);
        ports << p;
    }
    std::sort(ports.begin(), ports.end(),
              [](const PortInfo& a, const PortInfo& b) { return a.name < b.name; });
    ports.erase(std::unique(ports.begin(), ports.end(),
                            [](const PortInfo& a, const PortInfo& b) { return a.name == b.name; }),
                ports.end());
    if (DemoHeadend::available())
        ports << demoPort();
    return ports;
}

PortInfo Ports::describe(const QString& portName, const QString& byIdDir) {
    if (portName.compare(DemoHeadend::portName(), Qt::CaseInsensitive) == 0)
        return demoPort();
    PortInfo p{portName, {}, {}, {}, {}, {}};
    if (portName.isEmpty() || Transport::isRemote(portName))
        return p;
    const QString path = Transport::devicePath(portName);
    const QString canonical = QFileInfo(path).canonicalFilePath();
    p.device = canonical.isEmpty() ? path : canonical;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        if (info.systemLocation() == p.device)
            takeFrom(info, &p);
    p.byId = byIdOf(canonical, byIdDir);
    if (QFileInfo(path).isSymLink() && QFileInfo(path).absolutePath() == QDir(byIdDir).path())
        p.byId = path;
    return p;
}

QString Ports::checkDevice(const QString& path) {
    struct stat st {};
    if (::stat(path.toLocal8Bit().constData(), &st) != 0)
        return QStringLiteral("%1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
    if (!S_ISCHR(st.st_mode))
        return QStringLiteral("%1: not a serial device (no character device)").arg(path);
    return {};
}

QString Ports::openFailure(const QString& device, int err) {
    const QString text = QString::fromLocal8Bit(std::strerror(err));
    struct stat st {};
    if (err != EACCES || ::stat(device.toLocal8Bit().constData(), &st) != 0)
        return text;
    // Serial devices belong to a group whose members may open them (dialout on Debian).
    const group* owner = ::getgrgid(st.st_gid);
    if (!owner || (st.st_mode & (S_IRGRP | S_IWGRP)) != (S_IRGRP | S_IWGRP))
        return text;
    const QString name = QString::fromLocal8Bit(owner->gr_name);
    return QStringLiteral("%1. Only members of the group \"%2\" may open %3: add your user to it "
                          "(sudo adduser %4 %2) and log in again.")
        .arg(text, name, device, userName());
}

QString Ports::notOpenedText(const QString& portError) {
    const QString text = QStringLiteral("Please select proper COM Port");
    return portError.isEmpty() ? text : text + QLatin1Char('\n') + portError;
}
