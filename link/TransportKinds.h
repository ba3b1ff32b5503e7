#pragma once

// The kinds of transport behind Transport::forPort(); only the transports' own files use
// them.
#include "link/Telnet.h"
#include "link/Transport.h"

#include <QHash>

// A serial device of this machine ("COM3", "ttyUSB0", a path, or "DEMO"), opened
// exclusively, raw, with the line settings asked for. DTR and RTS are held off.
class DeviceTransport : public Transport {
public:
    explicit DeviceTransport(const QString& portName) : Transport(Kind::Device, portName) {}
    ~DeviceTransport() override { release(); }

    bool open(const LineConfig& line) override;
    bool readAvailable(QByteArray& data) override;
    bool write(const QByteArray& bytes) override;
    void purge(bool rx, bool tx) override;
    // One zero byte at 19200 baud, then the line as it was once the byte is out.
    bool lineBreak() override;

protected:
    void release() override;

private:
    bool configure(const LineConfig& line);
};

// A TCP connection to a terminal server: a raw stream (the server's port has its line
// settings fixed), or telnet with the com-port option, through which the line is set up,
// purged and given its break.
class NetTransport : public Transport {
public:
    NetTransport(Kind kind, const QString& portName, const QString& host, quint16 port)
        : Transport(kind, portName), m_host(host), m_port(port) {}
    ~NetTransport() override { release(); }

    bool open(const LineConfig& line) override;
    bool readAvailable(QByteArray& data) override;
    bool write(const QByteArray& bytes) override;
    void purge(bool rx, bool tx) override;
    bool lineBreak() override;

protected:
    void release() override;

private:
    // Looks the host up and connects, both within ConnectLimitMs; a cancel ends it early.
    bool connectSocket();
    static QString cancelledText();
    // The com-port session: offers, the server's agreement, the line settings and the
    // server's answers to them (whose time is the measured round trip).
    bool setUpComPort(const LineConfig& line);
    // Reads and answers the server until the answer to command has come (or limitMs).
    bool awaitAnswer(quint8 command, int limitMs, QByteArray* value = nullptr);
    // Takes in what the socket holds; telnet commands are answered and kept apart.
    bool takeIn();
    void onEvent(const Telnet::Event& e);
    QString closedText() const;
    // The first bytes were the server's word that another client has the line.
    bool saidInUse() const;

    QString m_host;
    quint16 m_port;
    Telnet::Decoder m_decoder;
    Telnet::Options m_options;
    QByteArray m_data;                   // line data taken in and not yet handed out
    QHash<quint8, QByteArray> m_answers; // the server's latest answer to each com-port command
    bool m_turnedAway = false;           // closed by the server while being set up
    QByteArray m_first;                  // the first data the server sent (a short text)
};

// The line a site agent lends (agent:SOCKET, or ssh:// through the user's own ssh running
// "orvex-agent --stdio" at the site): asked for with one request (line.v1), whose answer comes
// once the agent has stopped its own polling; from then on the connection carries the line's
// bytes unchanged both ways, at the line settings of the agent's port.
class AgentTransport : public Transport {
public:
    explicit AgentTransport(const QString& portName) : Transport(Kind::Agent, portName) {}
    // A line lent within this program, on one end of a socket pair (the agent's own pages):
    // open() takes the socket; once closed, it cannot be opened again.
    AgentTransport(const QString& name, int lentSocket)
        : Transport(Kind::Agent, name), m_lentSocket(lentSocket) {}
    ~AgentTransport() override;

    bool open(const LineConfig& line) override;
    bool readAvailable(QByteArray& data) override;
    bool write(const QByteArray& bytes) override;
    void purge(bool rx, bool tx) override;
    bool lineBreak() override;

protected:
    void release() override;

private:
    bool connectSocket(const QString& path);
    bool startSsh(const QStringList& command);
    // Sends line.v1 and waits for its answer.
    bool borrowLine();
    // Why the connection ended: ssh's last words, or the agent's close.
    QString goneText();
    void readSshErrors();

    int m_sshPid = -1;
    int m_sshErrors = -1; // ssh's stderr
    QByteArray m_sshSaid; // its last lines
    QByteArray m_early;   // line bytes that came with the answer
    int m_lentSocket = -1;
    bool m_wasLent = false;
};
