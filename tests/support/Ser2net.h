#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <QThread>

// A real ser2net on 127.0.0.1 in front of a serial device, started from a generated
// configuration on free TCP ports: one raw accepter (the device at 115200 8E2, as a site
// would fix it) and one telnet accepter with the com-port option (the device at 9600 8N1
// until the client sets the line), both passing bytes on at once. Stopped when destroyed.
//
//   Ser2net server;
//   if (!server.start(sim->slavePath(), &error)) ...;
//   link.OpenLink(server.name("tcp"));         // "tcp://127.0.0.1:PORT"
//   link.OpenLink(server.name("rfc2217"));     // "rfc2217://127.0.0.1:PORT"
class Ser2net {
public:
    Ser2net() = default;
    ~Ser2net();
    Ser2net(const Ser2net&) = delete;
    Ser2net& operator=(const Ser2net&) = delete;

    // Whether ser2net is installed (scripts/setup.sh installs it).
    static bool available();
    // Starts it and waits until both accepters listen; false with the reason when it cannot.
    bool start(const QString& device, QString* error);

    // Whether ser2net has let go of every connection (it turns a new one away until then).
    bool idle() const;

    quint16 telnetPort() const { return m_telnetPort; }
    // The accepter of a scheme, "tcp" (raw) or "rfc2217" (telnet), and the port name for it.
    quint16 port(const QString& scheme) const {
        return scheme == u"tcp" ? m_rawPort : m_telnetPort;
    }
    QString name(const QString& scheme) const { return lineName(scheme, port(scheme)); }
    static QString lineName(const QString& scheme, quint16 port) {
        return QStringLiteral("%1://127.0.0.1:%2").arg(scheme).arg(port);
    }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    quint16 m_rawPort = 0;
    quint16 m_telnetPort = 0;
};

// A real OpenSSH server on a free port of 127.0.0.1, with a throwaway host key and a client
// key of its own: it lets in the user running the tests, whose sessions find the built
// programs first on their PATH and the given environment. command() is the ssh command for
// ORVEX_SSH_COMMAND (that key, that host key only, never a question). Stopped when destroyed.
class Sshd {
public:
    Sshd() = default;
    ~Sshd();
    Sshd(const Sshd&) = delete;
    Sshd& operator=(const Sshd&) = delete;

    static bool available();
    bool start(const QStringList& environment, QString* error);
    quint16 port() const { return m_port; }
    QString command() const;

private:
    bool keys(const QStringList& environment, QString* error);
    QTemporaryDir m_dir;
    QProcess m_process;
    quint16 m_port = 0;
};

// A TCP proxy on 127.0.0.1 that adds a round trip: every byte is held back half of it in each
// direction. It runs on a thread of its own, so it keeps forwarding while the program's
// thread blocks in its own network code. For tests and benchmarks of remote lines.
//
//   DelayProxy proxy(ser2netPort, 40);          // 40 ms more round trip
//   port.setPortName(QString("rfc2217://127.0.0.1:%1").arg(proxy.port()));
//   proxy.cutOn("!03R");                        // every connection dropped there
class DelayProxy {
public:
    DelayProxy(quint16 target, int roundTripMs);
    ~DelayProxy();
    DelayProxy(const DelayProxy&) = delete;
    DelayProxy& operator=(const DelayProxy&) = delete;

    quint16 port() const { return m_port; }
    // Drops every open connection (both ends see it closed) as soon as the program sends these
    // bytes (which do not go on), once; new ones are taken as before.
    void cutOn(const QByteArray& bytes);

private:
    class Relay;
    QThread m_thread;
    Relay* m_relay = nullptr;
    quint16 m_port = 0;
};
