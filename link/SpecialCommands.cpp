// Special commands: checksummed frames for a module in its special mode, answered with a
// checksummed line. They bypass the transaction and wait without serving events.
#include "link/Link.h"

#include <QElapsedTimer>

using namespace Ascii;

using Protocol::CRC16;
using Protocol::crcText;
using Protocol::SpecOutcome;

QString Link::SendSpecCmd(const QString& cmd) {
    const bool open = m_port.isOpen();
    if (m_port.isRemote())
        dropLateReply();
    const QByteArray s = cmd.toLatin1() + 'R';
    m_sent.start();
    m_port.write('!' + s + crcText(CRC16(s)) + LF + CR);
    const QString reply = ReadSpecReply();
    m_replyMissing = reply == QString::number(int(SpecOutcome::NoReply));
    // A line that went away meanwhile ends the operation, as it does in a transaction.
    if (open && !m_port.isOpen())
        throw PortError(lostText(m_lostReason));
    return reply;
}

QString Link::ReadSpecReply() {
    QByteArray text;
    QElapsedTimer clock; // monotonic: holds across midnight and clock changes
    clock.start();
    const qint64 limit = Protocol::SpecialReplyTimeout + m_port.roundTripMarginMs();
    while (!text.contains(CR) && clock.elapsed() <= limit) {
        if (!m_port.isOpen())
            break;
        const int waiting = m_port.bytesWaiting();
        if (waiting > 0)
            text += m_port.read(waiting);
        else
            m_port.waitForBytes(int(std::max<qint64>(1, limit - clock.elapsed())));
    }
    // A busy computer may get back to the loop only after the limit: what came meanwhile is
    // still read, so that a reply that arrived is never taken for a missing one.
    if (!text.contains(CR) && m_port.isOpen())
        text += m_port.read(m_port.bytesWaiting());
    return specReplyResult(text);
}

QString Link::specReplyResult(const QByteArray& text) {
    const SpecOutcome outcome = specReplyOutcome(text);
    return outcome == SpecOutcome::Reply ? QString::fromLatin1(text)
                                         : QString::number(int(outcome));
}

SpecOutcome Link::specReplyOutcome(const QByteArray& text) {
    if (!text.contains(CR))
        return SpecOutcome::NoReply;
    const int p = text.indexOf('R') + 1; // 1-based; 0 when there is none
    const QByteArray digits = text.mid(p, 4);
    const bool allHex = digits.size() == 4 && std::all_of(digits.begin(), digits.end(), [](char c) {
                            return std::isxdigit(static_cast<unsigned char>(c));
                        });
    if (!allHex)
        return SpecOutcome::NoChecksum;
    if (digits.toUInt(nullptr, 16) != CRC16(text, p))
        return SpecOutcome::WrongChecksum;
    return SpecOutcome::Reply;
}
