#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <optional>
#include <utility>

// JSON-RPC 2.0 as the site agent speaks it: one JSON object a line, UTF-8, ended by "\n".
namespace JsonRpc {

// The error codes of the agent's answers. The first five are JSON-RPC's own.
enum Code {
    ParseError = -32700,     // the line is not JSON
    InvalidRequest = -32600, // JSON, but not a request (or longer than MaxLineBytes)
    MethodNotFound = -32601,
    InvalidParams = -32602,
    LineDown = 1001,       // the agent cannot open its line
    ConnectionLost = 1002, // the client's own: the connection ended before the answer
    LineInUse = 1003,      // the line is lent to another client
    PagesUnserved = 1004,  // the agent cannot listen for the module pages
};

// Longest line either side reads: a configuration file with every image travels in one.
constexpr qsizetype MaxLineBytes = 32 * 1024 * 1024;

struct Error {
    int code = 0;
    QString message;
};

// A request or a notification (no id) as read from a line.
struct Message {
    QJsonValue id; // Undefined for a notification
    QString method;
    QJsonObject params;
    // An answer: its result, or its error.
    QJsonObject result;
    std::optional<Error> error;
    bool isAnswer() const { return method.isEmpty(); }
};

// Reads one line (without its "\n"). A line that is not a valid message gives the error to
// answer with; the id is kept where it could be read.
std::optional<Error> read(const QByteArray& line, Message* out);

QByteArray request(int id, const QString& method, const QJsonObject& params);
QByteArray notification(const QString& method, const QJsonObject& params);
QByteArray result(const QJsonValue& id, const QJsonObject& result);
QByteArray error(const QJsonValue& id, const Error& error);

// The params of a bytes.v1 notification: bytes on the line for a client's line monitor, dir
// '>' written, '<' received, '#' a note.
QJsonObject bytesNote(char dir, const QByteArray& bytes);
// The bytes of one; false when it is not such a notification's.
bool readBytesNote(const QJsonObject& params, char* dir, QByteArray* bytes);

// Splits what arrives into lines. A line longer than MaxLineBytes is dropped up to its end,
// and comes in its place as tooLong, to be answered in turn.
class LineReader {
public:
    struct Line {
        QByteArray bytes;
        bool tooLong = false;
    };
    // Appends bytes; returns the complete lines they end.
    QList<Line> feed(const QByteArray& bytes);

private:
    QByteArray m_pending;
    bool m_skipping = false;
};

} // namespace JsonRpc
