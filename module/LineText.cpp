#include "module/LineText.h"

#include <QDateTime>

namespace LineText {

QString timeText(qint64 msecs) {
    return QDateTime::fromMSecsSinceEpoch(msecs).toString(QLatin1String(TimeFormat));
}

QString printable(const QByteArray& bytes, QChar filler) {
    QString s;
    s.reserve(bytes.size());
    for (const char c : bytes)
        s += (c >= 0x20 && c < 0x7F) ? QChar(QLatin1Char(c)) : filler;
    return s;
}

} // namespace LineText
