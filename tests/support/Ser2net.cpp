#include "tests/support/Ser2net.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QStandardPaths>
#include <QTcpServer>
#include <QThread>

namespace {
constexpr int kStartLimitMs = 10000;

quint16 freePort() {
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

// Whether something listens on 127.0.0.1:port (from the kernel's table, so that nothing
// connects to ser2net and makes it open the device).
bool listensOn(quint16 port) {
    QFile table(QStringLiteral("/proc/net/tcp"));
    if (!table.open(QIODevice::ReadOnly))
        return false;
    const QByteArray local =
        "0100007F:" + QByteArray::number(port, 16).toUpper().rightJustified(4, '0');
    for (const QByteArray& line : table.readAll().split('\n')) {
        const QList<QByteArray> f = line.simplified().split(' ');
        if (f.size() > 3 && f[1] == local && f[3] == "0A") // 0A: LISTEN
            return true;
    }
    return false;
}
} // namespace

Ser2net::~Ser2net() {
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
        m_process.waitForFinished(5000);
    }
}

bool Ser2net::available() {
    return !QStandardPaths::findExecutable(QStringLiteral("ser2net"), {"/usr/sbin", "/usr/bin"})
                .isEmpty();
}

bool Ser2net::listening() const {
    return listensOn(m_rawPort) && listensOn(m_telnetPort);
}

bool Ser2net::start(const QString& device, QString* error) {
    m_rawPort = freePort();
    m_telnetPort = freePort();
    while (m_telnetPort == m_rawPort)
        m_telnetPort = freePort();
    const QString config = m_dir.filePath(QStringLiteral("ser2net.yaml"));
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly)) {
        *error = file.errorString();
        return false;
    }
    // As the README sets it up: every byte passed on at once (no Nagle, no character delay).
    const QString connection = QStringLiteral("connection: &%1\n"
                                              "  accepter: %2tcp(nodelay),127.0.0.1,%3\n"
                                              "  connector: serialdev,%4,%5,local\n"
                                              "  options:\n"
                                              "    chardelay: false\n");
    file.write(
        (QStringLiteral("%YAML 1.1\n---\n") +
         connection.arg("raw", "").arg(m_rawPort).arg(device, "115200e82") +
         connection.arg("rfc2217", "telnet(rfc2217),").arg(m_telnetPort).arg(device, "9600n81"))
            .toUtf8());
    file.close();
    const QString program =
        QStandardPaths::findExecutable(QStringLiteral("ser2net"), {"/usr/sbin", "/usr/bin"});
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.setStandardOutputFile(m_dir.filePath(QStringLiteral("log")));
    m_process.start(program, {"-n", "-c", config, "-P", m_dir.filePath(QStringLiteral("pid"))});
    const QDeadlineTimer limit(kStartLimitMs);
    while (!listening()) {
        if (m_process.state() == QProcess::NotRunning || limit.hasExpired()) {
            QFile log(m_dir.filePath(QStringLiteral("log")));
            log.open(QIODevice::ReadOnly);
            *error = QStringLiteral("ser2net did not start: %1 %2")
                         .arg(m_process.errorString(), QString::fromLocal8Bit(log.readAll()));
            return false;
        }
        QThread::msleep(5);
    }
    return true;
}
