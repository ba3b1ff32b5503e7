#include "cli/CliHost.h"

#include "link/EventWait.h"

#include <unistd.h>

namespace {
const QByteArray kWipeLine("\r\x1b[K");
}

CliHost::CliHost(const CliIo& io)
    : m_io(io), m_errTty(io.errTerminal || isatty(fileno(io.err)) == 1) {}

void CliHost::writeErr(const QByteArray& bytes) {
    fwrite(bytes.constData(), 1, size_t(bytes.size()), m_io.err);
    fflush(m_io.err);
}

void CliHost::SetStatus(const QString& text) {
    if (m_transient && !m_errTty) {
        m_status = text;
        return;
    }
    if (m_errTty) {
        writeErr(kWipeLine + text.toUtf8());
    } else if (m_lineOpen && !m_status.isEmpty() && text.startsWith(m_status)) {
        writeErr(text.mid(m_status.size()).toUtf8());
    } else {
        writeErr((m_lineOpen ? QByteArray("\n") : QByteArray()) + text.toUtf8());
    }
    m_lineOpen = !text.isEmpty();
    m_status = text;
}

void CliHost::finishStatus(bool keep) {
    if (!m_lineOpen)
        return;
    writeErr(keep || !m_errTty ? QByteArray("\n") : kWipeLine);
    // The text stays the status; a text appended to it later starts a line of its own.
    m_lineOpen = false;
}

void CliHost::showMessage(const QString& text, bool) {
    finishStatus(true);
    QString body = text;
    while (body.endsWith(QLatin1Char('\n')))
        body.chop(1);
    err(body);
}

void CliHost::pause(int ms) {
    EventWait::pause(ms);
}

void CliHost::out(const QString& line) {
    outRaw((line + QLatin1Char('\n')).toUtf8());
}

void CliHost::outRaw(const QByteArray& bytes) {
    fwrite(bytes.constData(), 1, size_t(bytes.size()), m_io.out);
    fflush(m_io.out);
}

void CliHost::err(const QString& line) {
    finishStatus(true);
    writeErr((line + QLatin1Char('\n')).toUtf8());
}
