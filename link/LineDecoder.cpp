// The meaning of each frame on the line, in the words the program uses for its commands.
#include "link/LineObserver.h"
#include "link/Link.h"
#include "module/LineText.h"
#include "module/ModuleAddress.h"

#include <QRegularExpression>
#include <utility>

namespace {

QString address(int subrack, int slot) {
    return slot == Protocol::SpecialSlot ? QStringLiteral("special address")
                                         : ModuleAddress{subrack, slot}.name();
}

FrameKind frameKind(Protocol::CommandKind kind) {
    switch (kind) {
    case Protocol::CommandKind::Read:
        return FrameKind::Read;
    case Protocol::CommandKind::Write:
        return FrameKind::Write;
    case Protocol::CommandKind::Special:
        return FrameKind::Special;
    default:
        return FrameKind::Pages;
    }
}

// The command of that code; nullptr for none.
const Protocol::Command* commandOf(const QByteArray& code) {
    for (const Protocol::Command* c : Protocol::Commands)
        if (code == c->code)
            return c;
    return nullptr;
}

// What the codes of the special commands do with a module's EEPROM image.
QString specialMeaning(const QByteArray& code) {
    const Protocol::Command* c = commandOf(code);
    if (c && c->kind == Protocol::CommandKind::Special)
        return QStringLiteral("special command %1 (%2)")
            .arg(QString::fromLatin1(code), QLatin1String(c->name));
    return QStringLiteral("special command %1").arg(QString::fromLatin1(code));
}

// The header line of a page's first block, ACK and NAK by their names.
QString pagesHeader(const QByteArray& block) {
    if (block.indexOf('\n') < 0)
        return {};
    const QByteArray first = block.left(block.indexOf('\n'));
    const Protocol::PageHeader* h = Protocol::pageHeader(first);
    using Protocol::PageKind;
    return !h                         ? QString()
           : h->kind == PageKind::ACK ? QStringLiteral("ACK")
           : h->kind == PageKind::NAK ? QStringLiteral("NAK")
                                      : QString::fromLatin1(first);
}

using LineText::printable;
} // namespace

QList<LineFrame> LineDecoder::decode(LineFrame frame) {
    QList<LineFrame> out;
    if (frame.dir == '#') { // the program's note says what it is
        frame.kind = FrameKind::Console;
        return {frame};
    }
    if (frame.dir == '>') {
        out << settle(frame.msecs);
        command(frame);
    } else {
        reply(frame);
    }
    out << frame;
    return out;
}

QList<LineFrame> LineDecoder::settle(qint64 msecs) {
    if (!std::exchange(m_awaiting, false))
        return {};
    LineFrame note;
    note.msecs = msecs;
    note.dir = ' ';
    note.kind = FrameKind::Fault;
    note.meaning = QStringLiteral("no answer to ") + m_pending;
    note.subrack = m_subrack;
    note.slot = m_slot;
    note.group = m_pendingGroup;
    return {note};
}

void LineDecoder::command(LineFrame& f) {
    const QByteArray& b = f.bytes;
    m_pagesReply = false;
    m_special = false;
    if (b.size() == 3 && b.at(0) == '!' && (uchar(b.at(1)) & 0xFE) == Protocol::SelectSubrackBase) {
        m_subrack = uchar(b.at(1)) - Protocol::SelectSubrackBase;
        m_slot = uchar(b.at(2)) - Protocol::SelectSlotBase;
        f.kind = FrameKind::Select;
        f.meaning = QStringLiteral("select ") + address(m_subrack, m_slot);
        m_pending = f.meaning;
        m_awaiting = true;
    } else if (b.size() >= 2 && b.at(0) == '!' && b.endsWith('\r')) {
        describeCommand(f, b.mid(1, b.size() - 2));
        m_pending = f.meaning;
        m_awaiting = true;
    } else if (b == Protocol::ConsoleStart) {
        f.kind = FrameKind::Console;
        f.meaning = QStringLiteral("console: start");
        m_console = true;
    } else if (b == Protocol::ConsoleEnd) {
        f.kind = FrameKind::Console;
        f.meaning = QStringLiteral("console: end");
        m_console = false;
    } else {
        describeKey(f);
    }
    f.subrack = m_subrack;
    f.slot = m_slot;
    m_pendingGroup = f.group;
}

void LineDecoder::describeCommand(LineFrame& f, const QByteArray& body) {
    static const QRegularExpression kSpecial(QStringLiteral("^(\\d\\d).*R[0-9A-F]{4}\\n$"),
                                             QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch special = kSpecial.match(QString::fromLatin1(body));
    f.kind = FrameKind::Read;
    if (special.hasMatch()) {
        f.kind = FrameKind::Special;
        f.meaning = specialMeaning(special.captured(1).toLatin1());
        m_special = true;
        return;
    }
    if (body.startsWith(Protocol::WriteParam.code) && body.contains('\n')) {
        const QByteArray number = body.mid(1, body.indexOf('\n') - 1);
        const QByteArray value = QByteArray(" = ") + body.mid(body.indexOf('\n') + 1);
        const QByteArray what =
            body.startsWith(Protocol::WriteModuleType.code + QByteArray(1, '\n'))
                ? QByteArray(Protocol::WriteModuleType.name)
                : Protocol::WriteParam.name + (' ' + number);
        f.kind = FrameKind::Write;
        f.meaning = QString::fromLatin1(what + value);
        return;
    }
    const Protocol::Command* document = commandOf(body.left(1));
    if (document == &Protocol::PagesDocument || document == &Protocol::PagesRequestChecksum) {
        f.kind = FrameKind::Pages;
        f.meaning = QString::fromLatin1(document->name) +
                    QLatin1String(document == &Protocol::PagesDocument ? " /" : " ") +
                    printable(body.mid(1));
        m_pagesReply = document == &Protocol::PagesDocument;
        return;
    }
    // A parameter write without its value is none.
    const Protocol::Command* c = body.size() == 1 ? commandOf(body) : nullptr;
    if (c && c != &Protocol::WriteParam) {
        f.kind = frameKind(c->kind);
        f.meaning = QString::fromLatin1(c->name);
        m_pagesReply = c->kind == Protocol::CommandKind::Pages;
        return;
    }
    f.meaning = QStringLiteral("command \"%1\"").arg(printable(body));
}

void LineDecoder::describeKey(LineFrame& f) {
    static const QList<std::pair<char, QString>> kNamed{
        {0x1C, QStringLiteral("Left")},     {0x1D, QStringLiteral("Up")},
        {0x1E, QStringLiteral("Down")},     {0x1F, QStringLiteral("Right")},
        {'\r', QStringLiteral("Enter")},    {0x1B, QStringLiteral("Esc")},
        {0x08, QStringLiteral("Backspace")}};
    f.kind = FrameKind::Console;
    if (!m_console && f.bytes == QByteArray(1, '\0')) {
        f.meaning = QStringLiteral("line break");
        return;
    }
    QStringList keys;
    for (const char c : f.bytes) {
        QString name = QStringLiteral("0x%1").arg(uchar(c), 2, 16, QLatin1Char('0')).toUpper();
        for (const auto& [code, n] : kNamed)
            if (code == c)
                name = n;
        keys << ((c > 0x20 && c < 0x7F) ? QStringLiteral("'%1'").arg(QChar(c)) : name);
    }
    f.meaning = QStringLiteral("console: key ") + keys.join(QLatin1Char(' '));
}

void LineDecoder::reply(LineFrame& f) {
    f.subrack = m_subrack;
    f.slot = m_slot;
    const bool answering = m_awaiting;
    m_awaiting = false;
    const QByteArray& b = f.bytes;
    const char last = b.back();
    const QString to = answering ? QStringLiteral(" to ") + m_pending : QString();
    f.kind = FrameKind::Reply;
    if (m_console) {
        f.kind = FrameKind::Console;
        if (b == QByteArray(1, Ascii::SYN)) {
            f.meaning = QStringLiteral("console: asks for a key");
        } else if (b.contains(Ascii::EOT)) {
            f.meaning = QStringLiteral("console: ends");
            m_console = false;
        } else {
            f.meaning = QStringLiteral("console: text");
        }
    } else if (b.size() == 1 && (last == Ascii::ACK || last == Ascii::NAK)) {
        f.meaning = (last == Ascii::ACK ? QStringLiteral("ACK") : QStringLiteral("NAK")) + to;
        f.kind = last == Ascii::ACK ? FrameKind::Reply : FrameKind::Fault;
    } else if ((last == Ascii::ETB || last == Ascii::EOT) && m_pagesReply) {
        pagesBlock(f, last);
    } else if (last == Ascii::ETX) {
        f.meaning = QStringLiteral("reply ETX%1, %2 bytes").arg(to).arg(b.size());
    } else if (m_special && b.contains('R')) {
        using Protocol::SpecOutcome;
        const SpecOutcome outcome = Link::specReplyOutcome(b);
        f.meaning =
            outcome == SpecOutcome::WrongChecksum ? QStringLiteral("special reply, wrong checksum")
            : outcome == SpecOutcome::NoChecksum  ? QStringLiteral("special reply without checksum")
            : outcome == SpecOutcome::NoReply ? QStringLiteral("time-out: special reply without CR")
                                              : QStringLiteral("special reply");
        if (outcome != SpecOutcome::Reply)
            f.kind = FrameKind::Fault;
    } else {
        f.kind = FrameKind::Fault;
        f.meaning =
            QStringLiteral("time-out: reply%1 without its end, %2 bytes").arg(to).arg(b.size());
    }
}

void LineDecoder::pagesBlock(LineFrame& f, char end) {
    const QString header = pagesHeader(f.bytes);
    const QString kind = header.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(header);
    f.kind = FrameKind::Pages;
    f.meaning =
        end == Ascii::ETB
            ? QStringLiteral("pages: block%1, more follow, %2 bytes").arg(kind).arg(f.bytes.size())
            : QStringLiteral("pages: last block%1, %2 bytes").arg(kind).arg(f.bytes.size());
    // The next blocks of this reply are asked for with "!N".
    m_pagesReply = true;
}
