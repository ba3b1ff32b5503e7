#pragma once

#include <QByteArray>
#include <QVector>

class SimModule;

// The module side of the page transfer: window size, start page and documents from the
// module's pages folder, sent in blocks (ETB between, EOT at the end) with a checksum per
// block on request, pictures in the 4-in-5 encoding, and the "WAIT" and "RESEND" commands.
class SimPages {
public:
    struct Reply {
        QByteArray bytes;
        int delayMs = 0;       // quiet time on the line before it
        bool blockCrc = false; // an answer to "!4": four hexadecimal digits then ETX
    };

    // A request frame body (without "!" and CR). No reply: the module stays silent.
    QVector<Reply> request(const QByteArray& body, SimModule& module);

private:
    QVector<Reply> document(const QByteArray& pathQuery, SimModule& module);
    QVector<Reply> apply(const QByteArray& query, SimModule& module);
    Reply start(const QByteArray& header, const QByteArray& content, int blockSize);
    Reply block(int index);

    QByteArray m_header;
    QVector<QByteArray> m_chunks; // content of each block, terminator not included
    int m_next = 0;               // next block for "!N"
    QByteArray m_lastSigned;      // what the checksum of the last block sent covers
    bool m_crcExpected = false;
    quint16 m_expectedCrc = 0;
};
