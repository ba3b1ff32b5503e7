#include "agent/LineHistory.h"

#include "module/LineText.h"
#include "module/ModuleAddress.h"

#include <QMetaMethod>

LineHistory::LineHistory(SerialPort& port, int maxFrames, QObject* parent)
    : QObject(parent), m_port(port), m_before(port.tap()), m_max(maxFrames) {
    port.setTap([this](char dir, const QByteArray& bytes) {
        if (m_before)
            m_before(dir, bytes);
        m_observer.bytes(dir, bytes);
    });
    connect(&m_observer, &LineObserver::frame, this, &LineHistory::take);
}

LineHistory::~LineHistory() {
    m_port.setTap(m_before);
}

QJsonObject LineHistory::json(const LineFrame& f) {
    return {{QStringLiteral("time"), LineText::timeText(f.msecs)},
            {QStringLiteral("dir"), QString(QLatin1Char(f.dir))},
            {QStringLiteral("bytes"), QString::fromLatin1(f.bytes.toHex(' ').toUpper())},
            {QStringLiteral("meaning"), f.meaning},
            {QStringLiteral("kind"), frameKindName(f.kind)},
            {QStringLiteral("module"),
             f.subrack < 0 ? QString() : ModuleAddress{f.subrack, f.slot}.name()},
            {QStringLiteral("trace"), QString::fromUtf8(LineObserver::formatLine(f))}};
}

QJsonArray LineHistory::recent(int last) const {
    QJsonArray frames;
    const auto from =
        last > 0 && size_t(last) < m_ring.size() ? m_ring.end() - last : m_ring.begin();
    for (auto f = from; f != m_ring.end(); ++f)
        frames.append(json(*f));
    return frames;
}

void LineHistory::take(const LineFrame& f) {
    m_ring.push_back(f);
    if (int(m_ring.size()) > m_max)
        m_ring.pop_front();
    if (isSignalConnected(QMetaMethod::fromSignal(&LineHistory::frame))) // a client watches
        Q_EMIT frame(json(f));
}
