#include "cli/LineTrace.h"

LineTrace::LineTrace() {
    // Written on the thread that ended the frame: a frame is on file when its bytes have been.
    QObject::connect(
        &m_observer, &LineObserver::frame, &m_observer, [this](const LineFrame& f) { write(f); },
        Qt::DirectConnection);
}

bool LineTrace::open(const QString& path, QString* error) {
    QMutexLocker lock(&m_mutex);
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        *error = m_file.errorString();
        return false;
    }
    return true;
}

void LineTrace::write(const LineFrame& frame) {
    const QByteArray line = LineObserver::formatLine(frame);
    QMutexLocker lock(&m_mutex);
    if (!m_file.isOpen() || line.isEmpty())
        return;
    m_file.write(line + '\n');
    m_file.flush();
}

void LineTrace::close() {
    m_observer.flush();
    QMutexLocker lock(&m_mutex);
    if (m_file.isOpen())
        m_file.close();
}
