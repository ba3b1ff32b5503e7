#pragma once

#include "link/SerialPort.h"
#include "module/Errors.h"
#include "module/Protocol.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <functional>

class LinkHost;
class ModuleTable;
class TModule;
struct SharedState;

// The port could not be opened, or went away during an exchange.
class PortError : public OrvexError {
public:
    using OrvexError::OrvexError;
};

// The link to the head-end: the serial port, the command transaction and the module
// commands. One per program; the communications dialog only shows and edits its port name
// and scan time-out.
class Link : public QObject {
    Q_OBJECT
public:
    static constexpr int RxBufferSize = 65536;
    static constexpr int DefaultScanTimeout = 50;
    static constexpr int ReadTimeout = Protocol::ReadTimeout;
    static inline const QByteArray& ConsoleEnd = Protocol::ConsoleEnd;

    Link(ModuleTable& modules, SharedState& state, LinkHost& host, QObject* parent = nullptr);

    SerialPort& ComPort() { return m_port; }

    // Settings file "OXLCom.ini" in the current directory, section "ComPort".
    void LoadPortSettings();
    // False when the file cannot be written.
    bool StorePortSettings();
    // Loads the settings, forces the fixed line and opens the port; false when it cannot.
    // A port name given here takes the place of the file's (the command line's --port).
    // A console left open on the line is ended first (endStrayConsole). A remote line shows
    // its round trip in the status bar.
    bool OpenLink(const QString& portName = QString());

    // One command transaction: "!" + body + tail out, then the reply up to the terminator or
    // the time-out. True when the terminator came and bytes were read into RxBuffer.
    bool SendCommand(char terminator, const QByteArray& body, char tail = Ascii::CR);
    // Time-out the next transaction really uses: ReplyTimeout, or the default when that is
    // not a usable time-out, and the round trip of a remote line on top.
    int effectiveTimeout() const;
    // Whether the round trip of a remote line is a guess (RoundTrip): nothing has answered.
    bool roundTripGuessed() const { return m_port.roundTripGuessed(); }
    // After replies that may have been taken for the wrong frames: waits until the late ones
    // are in, drops them and learns the round trip anew.
    void relearnRoundTrip();
    // A transaction is waiting for its reply.
    bool waiting() const { return ReplyState == -1; }

    // Closes the port and sets its event mask back to the terminator event. A remote line
    // notes on the port's tap the round trip learnt.
    void closePort();

    // A client that vanished while a module's console was open (a killed terminal, a dropped
    // connection) leaves that module taking every frame as keys, and every module reads as
    // gone. This queues ConsoleEnd on the open port (without waiting for it to leave), noted
    // with why on the port's tap (the trace); whatever the module still says is the caller's
    // to discard.
    void sendConsoleEnd(const QString& why);
    // The same, then, once the bytes have left, a quiet moment for the module to leave its
    // console (events served), and what arrived meanwhile discarded.
    void endStrayConsole(const QString& why);

    // The module commands. Slot and subrack are indices of the module table; the readers
    // fill the record there (created when missing) and return whether the module answered.
    bool SelectModule(int subrack, int slot);
    // The frame that selects the module at a slot index of the line.
    static QByteArray selectFrame(int subrack, int slot);
    // The module (subrack, address slot) a select frame addresses; false for other bytes.
    static bool selectedBy(const QByteArray& frame, int* subrack, int* slot);
    // Selects the module whose record is at (slot, subrack), the special address included.
    bool SelectRecord(int subrack, int slot);
    bool ReadInfoBlock(int slot, int subrack);
    bool ReadVersion(int slot, int subrack);
    bool ReadDiagBytes(int slot, int subrack);
    bool ReadExtDiag(int slot, int subrack);
    bool ReadMessages(int slot, int subrack);
    bool ReadHtmlMarker(int slot, int subrack);
    bool ReadValues(int slot, int subrack);
    bool ReadSerial(int slot, int subrack);
    bool WriteValue(int index, qint32 value);
    bool CommitEEPROM(int slot, int subrack);
    // True when the module took the whole sequence (three ">" acknowledged, or all ten writes
    // of the family that takes its defaults as writes).
    bool LoadDefaults(int slot, int subrack);
    bool ResetModule();
    bool ResetModuleType();
    bool EnterSpecMode();

    // Special commands of a module in its special mode: "!" + cmd + "R" + CRC + LF CR out,
    // the reply checked against its CRC. The port must be open already (the callers have
    // just put the module into its special mode); on a closed port nothing is sent ("-2").
    // A port lost while the reply is awaited raises PortError. Results "-1" (wrong CRC), "-2" (no
    // CR within a second), "-3" (no hexadecimal CRC), else the whole reply.
    QString SendSpecCmd(const QString& cmd);
    QString ReadSpecReply();
    // The result for a reply text as received: "-2" without CR, "-3" without four
    // hexadecimal digits after the first "R", "-1" when they are not its CRC, else the text.
    static QString specReplyResult(const QByteArray& text);
    static Protocol::SpecOutcome specReplyOutcome(const QByteArray& text);
    // Runs a command whose reply may not parse: a ParseError spoils that one answer only and
    // is noted in the module's Messages (counted in ErrorCount) and, with keep, kept there.
    static void tolerant(TModule& m, const std::function<void()>& command,
                         QStringList* keep = nullptr);

    // What an operation says when the line went away while it ran, for the reason the port
    // gave: that the line is in use by another client, or that the serial port was lost.
    static QString lostText(const QString& reason);

    QByteArray RxBuffer;
    qint32 RxCount = 0;
    qint32 ReplyTimeout = DefaultScanTimeout;
    qint32 ScanTimeout = DefaultScanTimeout;
    bool LinkBusy = false;

Q_SIGNALS:
    // The port went away while open; the text says which and why.
    void portLost(const QString& reason);

private:
    void ComPortRxFlag();
    void tmRxTimer();
    void openOrThrow();
    // Opens the port; a remote one opened in the background says "Connecting to …" first.
    bool openPort();
    // On a remote line, before a frame: drops what arrived since the last reply was read.
    void dropLateReply();
    void awaitReplyInProgress();
    TModule& record(int slot, int subrack);
    // Runs a read of one part of the record and notes whether it holds what the module holds.
    static bool readPart(TModule& m, quint8 part, const std::function<bool()>& read);
    // Sends a read of the table's and parses its reply into the record.
    bool readInto(int slot, int subrack, const Protocol::Command& command,
                  const std::function<void(TModule&)>& parse, const char* failure = nullptr);

    ModuleTable& m_modules;
    SharedState& m_state;
    LinkHost& m_host;
    SerialPort m_port;
    QTimer tmRx;
    qint32 ReplyState = 0;
    QElapsedTimer m_sent;        // since the frame of the last transaction went out
    bool m_replyMissing = false; // the last transaction had no reply (in time)
    bool m_lostDuringWait = false;
    bool m_lostInUse = false; // lost to another client, and not opened or closed since
    QString m_lostReason;
};
