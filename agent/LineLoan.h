#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class LineBridge;
class Transport;

// The agent's line lent to a part of this program that serves one client (its module pages,
// its console): through the bridge, as a client of the socket gets it with line.v1 (one holder
// at a time, the frames that change a module logged with the client's user, a console ended,
// the line settled and rescanned after). The part gets a transport on one end of a socket
// pair that carries the line's bytes; the line goes back when that transport closes, or when
// the loan goes before the line came. A holder letting go (the client itself, often) is
// waited for a moment.
class LineLoan : public QObject {
    Q_OBJECT
public:
    using Granted = std::function<void(std::unique_ptr<Transport> line)>;
    // The JSON-RPC error: 1003 (in use, naming the holder) or 1001 (the line cannot be opened).
    using Refused = std::function<void(int code, const QString& text)>;

    LineLoan(LineBridge& bridge, const QString& lineName, QObject* parent = nullptr);
    ~LineLoan() override;

    // Asks once; one of the two is called later, from the event loop.
    void ask(const QString& user, Granted granted, Refused refused);

private:
    void tryNow(const QString& user, bool waited);

    LineBridge& m_bridge;
    QString m_lineName;
    Granted m_granted;
    Refused m_refused;
    int m_waiting = -1; // this program's end of the line until it is lent
};
