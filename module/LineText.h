#pragma once

#include <QByteArray>
#include <QChar>
#include <QString>

// How the line's bytes and times are written for people: in the line monitor, its traces, the
// decoder's meanings and the message log.
namespace LineText {

// Times of day to the millisecond, as frames and log lines carry them.
inline constexpr char TimeFormat[] = "HH:mm:ss.zzz";
// The local time of day of a moment (ms since the epoch) in that format.
QString timeText(qint64 msecs);
// The bytes as text: printable ASCII as it is, every other byte as the filler.
QString printable(const QByteArray& bytes, QChar filler = QLatin1Char('.'));

} // namespace LineText
