// Ports as a person recognises them: what is known of a port name, which typed paths are
// ports, and why a device could not be opened.
#include "link/PortInfo.h"
#include "tests/support/Files.h"
#include "tests/support/PtyPeer.h"
#include "tests/support/TestMain.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>
#include <cerrno>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
const QString kStable = QStringLiteral("usb-FTDI_FT232R_USB_UART_A10KX3ZB-if00-port0");
}

class PortsTest : public QObject {
    Q_OBJECT
    PtyPeer peer;
    QTemporaryDir byId; // a /dev/serial/by-id of our own: one adapter, the peer's terminal
    QString device() const { return QFileInfo(peer.path()).canonicalFilePath(); }
    QString stable() const { return byId.filePath(kStable); }

private Q_SLOTS:
    void initTestCase() { QVERIFY(QFile::link(peer.path(), stable())); }

    // Names: "@dev" stands for the terminal, "@id" for its stable name.
    void describe_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("device");
        QTest::addColumn<QString>("details");
        QTest::newRow("device path") << "@dev"
                                     << "@dev"
                                     << "@id";
        QTest::newRow("stable name") << "@id"
                                     << "@dev"
                                     << "@dev";
        QTest::newRow("COM1") << "COM1"
                              << "/dev/ttyS0"
                              << "";
        QTest::newRow("missing") << "/dev/orvex-none"
                                 << "/dev/orvex-none"
                                 << "";
        QTest::newRow("remote") << "rfc2217://[fd00::17]:4001"
                                << ""
                                << "";
        QTest::newRow("demo") << "DEMO"
                              << ""
                              << "demo head-end (simulator)";
    }
    void describe() {
        QFETCH(QString, name);
        QFETCH(QString, device);
        QFETCH(QString, details);
        const auto fill = [this](QString s) {
            return s.replace("@dev", this->device()).replace("@id", stable());
        };
        const PortInfo p = Ports::describe(fill(name), byId.path());
        QCOMPARE(p.name, fill(name));
        QCOMPARE(p.device, fill(device));
        if (name == "COM1") // what the machine knows of its first UART varies
            return;
        QCOMPARE(p.details(), fill(details));
        QCOMPARE(p.byId, name.startsWith('@') ? stable() : QString());
    }

    void checkDevice_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("refused");
        QTest::newRow("terminal") << "@dev"
                                  << "";
        QTest::newRow("stable name") << "@id"
                                     << "";
        QTest::newRow("missing") << "/dev/orvex-none"
                                 << "/dev/orvex-none: No such file or directory";
        QTest::newRow("plain file") << "@file"
                                    << "@file: not a serial device (no character device)";
        QTest::newRow("folder") << "/dev"
                                << "/dev: not a serial device (no character device)";
    }
    void checkDevice() {
        QFETCH(QString, path);
        QFETCH(QString, refused);
        const QString file = byId.filePath("plain");
        QVERIFY(writeFile(file, "x"));
        const auto fill = [&](QString s) {
            return s.replace("@dev", device()).replace("@id", stable()).replace("@file", file);
        };
        QCOMPARE(Ports::checkDevice(fill(path)), fill(refused));
    }

    // "Permission denied" names the group that may open the device when its members may.
    void openFailure_data() {
        QTest::addColumn<int>("err");
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("group");
        QTest::newRow("group may") << EACCES << 0660 << true;
        QTest::newRow("owner only") << EACCES << 0600 << false;
        QTest::newRow("missing") << ENOENT << 0660 << false;
    }
    void openFailure() {
        QFETCH(int, err);
        QFETCH(int, mode);
        QFETCH(bool, group);
        const QString file = byId.filePath("device");
        QVERIFY(writeFile(file, {}));
        QVERIFY(::chmod(QFile::encodeName(file).constData(), mode_t(mode)) == 0);
        const QString text = Ports::openFailure(file, err);
        QVERIFY(text.startsWith(QString::fromLocal8Bit(std::strerror(err))));
        const QString owner = QString::fromLocal8Bit(::getgrgid(::getegid())->gr_name);
        const QString hint = QString("Only members of the group \"%1\" may open %2: add your user "
                                     "to it (sudo adduser ")
                                 .arg(owner, file);
        QCOMPARE(text.contains(hint) && text.endsWith(" and log in again."), group);
    }
};

ORVEX_TEST(PortsTest)
#include "ports.moc"
