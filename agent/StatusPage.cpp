#include "agent/StatusPage.h"

#include "agent/HeadendStatus.h"

#include <QDateTime>

namespace StatusPage {

namespace {
const char* const kStyle =
    "body{font-family:sans-serif;margin:1em}table{border-collapse:collapse}"
    "td,th{border:1px solid #999;padding:2px 8px;text-align:left;vertical-align:top}"
    ".ok{color:rgb(0,128,0)}.fault{color:rgb(255,0,0)}.gone{color:rgb(255,0,0)}"
    ".bits{font-size:smaller;color:#333}";

QString cell(const SlotStatus& m) {
    if (!m.seen)
        return QStringLiteral("-");
    const QString type = m.type.trimmed().toHtmlEscaped();
    if (!m.present)
        return QStringLiteral("<span class=\"gone\">- (%1 does not answer)</span>").arg(type);
    QString html = QStringLiteral("<span class=\"%1\">%2</span> %3")
                       .arg(m.fault ? QStringLiteral("fault") : QStringLiteral("ok"), type,
                            m.version.toHtmlEscaped());
    QStringList texts;
    for (const QString& fault : m.readFaults)
        texts << fault.toHtmlEscaped();
    for (const DiagBit& b : m.bits)
        texts << (b.text.isEmpty() ? QStringLiteral("byte %1 bit %2").arg(b.byte).arg(b.bit)
                                   : b.text.toHtmlEscaped());
    if (!texts.isEmpty())
        html +=
            QStringLiteral("<div class=\"bits\">%1</div>").arg(texts.join(QStringLiteral("; ")));
    return html;
}

QString summary(const HeadendStatus& status) {
    if (!status.lineUp)
        return QStringLiteral("The line is down; the monitor keeps trying to open it.");
    int present = 0;
    for (const SlotStatus& m : status.modules)
        present += m.present ? 1 : 0;
    QString text = QStringLiteral("Line up. %1 modules answer.").arg(present);
    if (status.bridged)
        text += QStringLiteral(" A bridge client has the line: polling is paused.");
    if (status.lastPoll > 0)
        text +=
            QStringLiteral(" Last poll: %1.")
                .arg(QDateTime::fromSecsSinceEpoch(qint64(status.lastPoll)).toString(Qt::ISODate));
    return text;
}
} // namespace

QByteArray render(const HeadendStatus& status, int refreshSeconds) {
    const QString port = status.port.toHtmlEscaped();
    QString html = QStringLiteral("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">"
                                  "<meta http-equiv=\"refresh\" content=\"%1\">"
                                  "<title>Head-end on %2</title><style>%3</style></head><body>\n"
                                  "<h1>Head-end on %2</h1>\n<p>%4</p>\n")
                       .arg(QString::number(qMax(1, refreshSeconds)), port, QLatin1String(kStyle),
                            summary(status));
    html += QStringLiteral("<table><tr><th>Slot</th><th>Subrack #1</th><th>Subrack #2</th></tr>\n");
    for (int s = 0; s < HeadendStatus::Slots; ++s)
        html += QStringLiteral("<tr><td>%1</td><td>%2</td><td>%3</td></tr>\n")
                    .arg(QString::number(s + 1), cell(status.at(0, s)), cell(status.at(1, s)));
    html += QStringLiteral("</table>\n<p><a href=\"/metrics\">Metrics</a></p></body></html>\n");
    return html.toUtf8();
}

} // namespace StatusPage
