// Ports as a person recognises them: what is known of a port name, which typed names are
// ports, and why a device could not be opened.
#include "link/PortInfo.h"
#include "link/Transport.h"
#include "tests/support/Files.h"
#include "tests/support/PtyPeer.h"
#include "tests/support/TestMain.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

class PortsTest : public QObject {
    Q_OBJECT
    PtyPeer peer;
    QTemporaryDir byId; // a /dev/serial/by-id of our own: one adapter, the peer's terminal
    QString fill(QString s) const {
        return s.replace("@dev", QFileInfo(peer.path()).canonicalFilePath())
            .replace("@id", byId.filePath("usb-FTDI_FT232R_USB_UART_A10KX3ZB-if00-port0"))
            .replace("@file", byId.filePath("plain"));
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(QFile::link(peer.path(), fill("@id")));
        QVERIFY(writeFile(fill("@file"), "x"));
    }

    // A program whose main registers no demo head-end neither lists nor opens "DEMO".
    void withoutDemo() {
        QString error;
        QVERIFY(Transport::deviceFor(QStringLiteral("DEMO"), &error).isEmpty());
        QCOMPARE(error, QStringLiteral("DEMO: this program has no demo head-end"));
        for (const PortInfo& p : Ports::list(byId.path()))
            QVERIFY(p.name != QStringLiteral("DEMO"));
    }

    // "@dev" stands for the terminal, "@id" for its stable name.
    void describe_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("device");
        QTest::addColumn<QString>("details");
        QTest::addColumn<QString>("refused"); // typed as a port
        const QList<QStringList> rows{{"device path", "@dev", "@dev", "@id", ""},
                                      {"stable name", "@id", "@dev", "@dev", ""},
                                      {"missing", "/dev/orvex-none", "/dev/orvex-none", "",
                                       "/dev/orvex-none: No such file or directory"},
                                      {"plain file", "@file", "@file", "",
                                       "@file: not a serial device (no character device)"},
                                      {"remote", "rfc2217://[fd00::17]:4001", "", "", ""},
                                      {"demo", "DEMO", "", "demo head-end (simulator)", ""}};
        for (const QStringList& r : rows)
            QTest::newRow(qPrintable(r[0])) << r[1] << r[2] << r[3] << r[4];
    }
    void describe() {
        QFETCH(QString, name);
        const PortInfo p = Ports::describe(fill(name), byId.path());
        QCOMPARE(p.name, fill(name));
        QFETCH(QString, device);
        QFETCH(QString, details);
        QCOMPARE(p.device, fill(device));
        QCOMPARE(p.details(), fill(details));
        QCOMPARE(p.byId, name.startsWith('@') && name != "@file" ? fill("@id") : QString());
        QFETCH(QString, refused);
        if (!p.device.isEmpty())
            QCOMPARE(Ports::checkDevice(fill(name)), fill(refused));
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
        const QString file = fill("@file");
        QVERIFY(::chmod(QFile::encodeName(file).constData(), mode_t(mode)) == 0);
        const QString text = Ports::openFailure(file, err);
        QVERIFY(text.startsWith(QString::fromLocal8Bit(std::strerror(err))));
        const QString hint =
            QString("Only members of the group \"%1\" may open %2: add your user "
                    "to it (sudo adduser ")
                .arg(QString::fromLocal8Bit(::getgrgid(::getegid())->gr_name), file);
        QTEST(text.contains(hint) && text.endsWith(" and log in again."), "group");
    }
};

ORVEX_TEST(PortsTest)
#include "ports.moc"
