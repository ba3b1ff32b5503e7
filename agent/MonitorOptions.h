#pragma once

#include <QHostAddress>
#include <QString>
#include <QStringList>

// An address to listen on: "127.0.0.1:9188", "[::1]:9188", "localhost:9188", "*:4001" or
// ":4001" (every interface). Port 0 takes a free port.
struct ListenAddress {
    QHostAddress address = QHostAddress(QHostAddress::LocalHost);
    quint16 port = 0;
    static bool parse(const QString& text, ListenAddress* out);
    QString text(quint16 actualPort) const;
};

// The command line of orvex-agent.
struct MonitorOptions {
    enum Outcome { Run, Help, Version, Error };

    QString port;         // --port; empty: the port of "OXLCom.ini", else COM1
    double interval = 30; // --interval, seconds between polls
    double rescan = 15;   // --rescan, minutes between scans
    int scanTimeout = 0;  // --scan-timeout, ms; 0: the default
    ListenAddress listen{QHostAddress(QHostAddress::LocalHost), 9188};
    bool bridge = false;
    ListenAddress bridgeAt; // --bridge
    int bridgeIdle = 300;   // --bridge-idle, seconds; 0: never
    QString socket;         // --socket: the operations' Unix socket; empty: none
    bool stdio = false;     // --stdio [LINE]: a client's bridge to a running agent
    QString stdioLine;

    // Parses the arguments (program name first). Help and Version leave the text to print
    // in *text; Error the problem.
    static Outcome parse(const QStringList& arguments, MonitorOptions* out, QString* text);
};
