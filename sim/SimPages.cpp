#include "sim/SimPages.h"

#include "sim/SimCodec.h"
#include "sim/SimModule.h"

#include <QFile>
#include <QRegularExpression>

using namespace SimCodec;

namespace {

struct Kind {
    const char* header;
    bool encoded;
};

Kind kindOf(const QByteArray& path) {
    const QByteArray ext = path.mid(path.lastIndexOf('.') + 1).toLower();
    if (ext == "html" || ext == "htm")
        return {"HTML\n", false};
    if (ext == "css")
        return {"CSS\n", false};
    if (ext == "js")
        return {"JS\n", false};
    if (ext == "gif")
        return {"GIF4-5b\n", true};
    if (ext == "jpg" || ext == "jpeg")
        return {"JPG4-5b\n", true};
    if (ext == "bmp")
        return {"BMP4-5b\n", true};
    if (ext == "txt")
        return {"OTHER\n", false};
    return {"OTHER4-5b\n", true};
}

QByteArray oneBlock(const QByteArray& header, const QByteArray& text) {
    return header + text + EOT;
}

// Module pages show live values: {{type}}, {{serial}}, {{version}}, {{pN}} (raw value of
// parameter N) and {{pN.text}} (the value as a panel shows it).
QByteArray fillIn(const QByteArray& page, const SimModule& m) {
    static const QRegularExpression field(QStringLiteral("\\{\\{(\\w+)(\\.text)?\\}\\}"));
    QString text = QString::fromLatin1(page);
    QString out;
    qsizetype last = 0;
    for (auto it = field.globalMatch(text); it.hasNext();) {
        const auto match = it.next();
        out += text.mid(last, match.capturedStart() - last);
        last = match.capturedEnd();
        const QString key = match.captured(1);
        if (key == QLatin1String("type")) {
            out += m.def().type;
        } else if (key == QLatin1String("serial")) {
            out += m.def().serial;
        } else if (key == QLatin1String("version")) {
            out += m.def().version.value(m.def().version.size() - 1);
        } else if (key.startsWith(QLatin1Char('p')) && key.mid(1).toInt() < m.def().params.size()) {
            const int p = key.mid(1).toInt();
            const int raw = m.value(p, m.channel());
            out += match.captured(2).isEmpty() ? QString::number(raw)
                                               : m.def().params.at(p).display(raw);
        } else {
            out += match.captured(0);
        }
    }
    return (out + text.mid(last)).toLatin1();
}

} // namespace

SimPages::Reply SimPages::block(int index) {
    const bool last = index == m_chunks.size() - 1;
    QByteArray signedPart = (index == 0 ? m_header : QByteArray()) + m_chunks.at(index);
    signedPart += last ? EOT : ETB;
    m_lastSigned = signedPart;
    m_next = index + 1;
    return {signedPart, 0, false};
}

SimPages::Reply SimPages::start(const QByteArray& header, const QByteArray& content,
                                int blockSize) {
    m_header = header;
    m_chunks.clear();
    for (qsizetype at = 0; at < content.size() || m_chunks.isEmpty();) {
        qsizetype n = qMin<qsizetype>(blockSize, content.size() - at);
        if (n > 1 && content.at(at + n - 1) == ESC)
            --n; // keep an escape with the byte it escapes
        m_chunks << content.mid(at, n);
        at += n;
        if (n == 0)
            break;
    }
    return block(0);
}

QVector<SimPages::Reply> SimPages::apply(const QByteArray& query, SimModule& module) {
    for (const QByteArray& pair : query.split('&')) {
        const qsizetype eq = pair.indexOf('=');
        bool okParam = false, okValue = false;
        const int param = pair.left(eq).mid(1).toInt(&okParam);
        const int value = pair.mid(eq + 1).toInt(&okValue);
        if (pair.isEmpty())
            continue;
        if (eq < 2 || !pair.startsWith('p') || !okParam || !okValue ||
            !module.setFromPage(param, value))
            return {start(QByteArray(1, NAK) + '\n', "Value refused: " + pair.left(120), 400)};
    }
    return {start(QByteArray(1, ACK) + '\n', QByteArray(), 400)};
}

QVector<SimPages::Reply> SimPages::document(const QByteArray& pathQuery, SimModule& module) {
    const SimPagesDef& pages = module.def().pages;
    const qsizetype q = pathQuery.indexOf('?');
    QByteArray path = q < 0 ? pathQuery : pathQuery.left(q);
    const QByteArray query = q < 0 ? QByteArray() : pathQuery.mid(q + 1);
    while (path.startsWith('/'))
        path.remove(0, 1);
    if (path.isEmpty())
        path = "index.html";
    if (path == "apply.cgi")
        return apply(query, module);
    QFile file(pages.folder + QLatin1Char('/') + QString::fromLatin1(path));
    if (path.split('/').contains("..") || path.contains('\\') || !file.open(QIODevice::ReadOnly))
        return {start(QByteArray(1, NAK) + '\n', QByteArray(), pages.blockSize)};
    Kind kind = kindOf(path);
    QByteArray content = file.readAll();
    if (!kind.encoded) {
        if (qstrcmp(kind.header, "HTML\n") == 0)
            content = fillIn(content, module);
        if (content.contains(EOT) || content.contains(ETB))
            kind = {"OTHER4-5b\n", true}; // such text could not travel as it is
    }
    const Reply first =
        start(kind.header, kind.encoded ? encode4in5(content) : content, pages.blockSize);
    const int wait = pages.waitSeconds.value(QString::fromLatin1(path), 0);
    if (wait == 0)
        return {first};
    const QByteArray text =
        pages.waitText.isEmpty() ? QByteArray() : '\n' + pages.waitText.toLatin1();
    const QByteArray waitCmd = oneBlock("CMD\n", "WAIT " + QByteArray::number(wait) + text);
    return {{waitCmd, 0, false}, {first.bytes, qMax(300, wait * 1000 - 500), false}};
}

QVector<SimPages::Reply> SimPages::request(const QByteArray& body, SimModule& module) {
    const SimPagesDef& pages = module.def().pages;
    if (!pages.enabled() || body.isEmpty())
        return {};
    const QByteArray rest = body.mid(1);
    switch (body.at(0)) {
    case 'G':
        if (!rest.isEmpty())
            return {};
        return {
            {QByteArray::number(pages.width) + '\n' + QByteArray::number(pages.height) + '\n' + ETX,
             0, false}};
    case 'A':
        return rest.isEmpty() ? document("index.html", module) : QVector<Reply>{};
    case 'C': {
        m_crcExpected = parseHex4(rest, &m_expectedCrc);
        return {{QByteArray(1, m_crcExpected ? ACK : NAK), 0, false}};
    }
    case 'B':
        if (m_crcExpected) {
            m_crcExpected = false;
            if (crc16(rest) != m_expectedCrc)
                return {{oneBlock("CMD\n", "RESEND"), 0, false}};
        }
        return document(rest, module);
    case '4':
        if (!rest.isEmpty())
            return {};
        if (m_lastSigned.isEmpty())
            return {{QByteArray(1, NAK), 0, false}};
        return {{hex4(crc16(m_lastSigned)) + ETX, 0, true}};
    case 'N':
        if (!rest.isEmpty() || m_next >= m_chunks.size())
            return {};
        return {block(m_next)};
    default:
        return {};
    }
}
