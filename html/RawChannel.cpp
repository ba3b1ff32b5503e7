#include "html/RawChannel.h"

#include "html/PagesCodec.h"

#include <QElapsedTimer>
#include <poll.h>

namespace {
// The raw channel's line: 8 data bits, even parity, one stop bit.
LineConfig rawLine() {
    LineConfig line;
    line.stopBits = 1;
    return line;
}
} // namespace

RawChannel::~RawChannel() {
    close();
}

bool RawChannel::OpenRawPort(const QString& portName, const QByteArray& selectFrame) {
    return open(Transport::forPort(portName), selectFrame);
}

bool RawChannel::open(std::unique_ptr<Transport> line, const QByteArray& selectFrame) {
    close();
    m_error.clear();
    m_select = selectFrame;
    m_line = std::move(line);
    if (m_line->open(rawLine())) {
        // A line an agent lends was the agent's until now: its polling addressed other modules
        // since the caller selected this one.
        m_selectDue = m_line->kind() == Transport::Kind::Agent && !m_select.isEmpty();
        return true;
    }
    m_error = m_line->errorString();
    m_line.reset();
    return false;
}

bool RawChannel::ensureLine() {
    if (!m_line)
        return false;
    if (!m_line->isOpen()) {
        m_in.clear();
        m_inPos = 0;
        const bool opened = m_line->open(rawLine());
        m_error = m_line->errorString();
        if (!opened)
            return false;
        m_selectDue = !m_select.isEmpty();
    }
    return !m_selectDue || selectAgain();
}

bool RawChannel::selectAgain() {
    if (!m_line->write(m_select))
        return false;
    if (m_tap)
        m_tap('>', m_select);
    if (readByte(SelectAnswerMs + roundTripMs()) != PagesCodec::ACK) {
        m_error = QStringLiteral("the module does not answer");
        purge();
        return false;
    }
    m_selectDue = false;
    return true;
}

bool RawChannel::fill(int timeoutMs) {
    if (m_inPos > 0) {
        m_in.remove(0, m_inPos);
        m_inPos = 0;
    }
    if (!m_line || !m_line->isOpen()) {
        ::poll(nullptr, 0, timeoutMs); // a line that has gone is a silent one
        return false;
    }
    const qsizetype before = m_in.size();
    QElapsedTimer clock;
    clock.start();
    // Telnet commands make the line readable without data: wait on for the rest of the time.
    while (m_in.size() == before && m_line->isOpen()) {
        const int left = int(timeoutMs - clock.elapsed());
        if (!m_line->waitReadable(std::max(0, left)))
            break;
        if (!m_line->readAvailable(m_in))
            m_error = m_line->errorString();
        if (left <= 0)
            break;
    }
    if (m_in.size() == before)
        return false;
    if (m_tap)
        m_tap('<', m_in.mid(before));
    return true;
}

int RawChannel::readByte(int timeoutMs) {
    if (timeoutMs < 0)
        timeoutMs = ReadByteTimeoutMs + roundTripMs();
    if (m_inPos >= m_in.size() && !fill(timeoutMs))
        return -1;
    return static_cast<unsigned char>(m_in.at(m_inPos++));
}

bool RawChannel::write(const QByteArray& bytes) {
    if (!ensureLine() || !m_line->write(bytes))
        return false;
    if (m_tap)
        m_tap('>', bytes);
    return true;
}

void RawChannel::purge() {
    if (m_line && m_line->isOpen())
        m_line->purge(true, true);
    m_in.clear();
    m_inPos = 0;
}

void RawChannel::close() {
    m_line.reset();
    m_in.clear();
    m_inPos = 0;
}
