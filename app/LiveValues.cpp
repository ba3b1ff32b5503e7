#include "app/LiveValues.h"

#include "app/MainWindow.h"
#include "link/LineSettings.h"
#include "link/ModuleReload.h"
#include "panel/CtlPanelFrm.h"

#include <QApplication>
#include <QPointer>
#include <QSettings>

namespace {
const QString kSecondsKey = QStringLiteral("Live/RefreshSeconds");

// Holds the user's input while a read waits for its reply, and hands it on afterwards in
// its order: a click meanwhile would otherwise start a second command on the line inside
// the read's wait.
class InputHold : public QObject {
public:
    InputHold() { qApp->installEventFilter(this); }
    ~InputHold() override {
        qApp->removeEventFilter(this);
        for (auto& [to, e] : m_held) {
            if (to)
                QCoreApplication::postEvent(to, e);
            else
                delete e;
        }
    }

protected:
    bool eventFilter(QObject* watched, QEvent* e) override {
        switch (e->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::Wheel:
            if (!watched->isWidgetType())
                return false;
            m_held.append({QPointer<QObject>(watched), e->clone()});
            return true;
        default:
            return false;
        }
    }

private:
    QList<std::pair<QPointer<QObject>, QEvent*>> m_held;
};
} // namespace

const int LiveValues::Choices[5] = {0, 2, 5, 10, 30};

LiveValues::LiveValues(TMainFrm& main) : QObject(&main), m_main(main) {
    m_timer.setTimerType(Qt::CoarseTimer);
    // The tick only marks the read as due and wakes the loop: the idle step reads.
    connect(&m_timer, &QTimer::timeout, this, [this] { m_due = true; });
    setIntervalMs(storedSeconds() * 1000);
}

int LiveValues::storedSeconds() {
    return QSettings(PortSettingsFile, QSettings::IniFormat)
        .value(kSecondsKey, DefaultSeconds)
        .toInt();
}

void LiveValues::setSeconds(int seconds) {
    QSettings(PortSettingsFile, QSettings::IniFormat).setValue(kSecondsKey, seconds);
    setIntervalMs(seconds * 1000);
}

void LiveValues::setIntervalMs(int ms) {
    m_intervalMs = qMax(0, ms);
    restart();
}

void LiveValues::restart() {
    m_due = false;
    if (m_intervalMs > 0)
        m_timer.start(m_intervalMs);
    else
        m_timer.stop();
}

bool LiveValues::mayRead() {
    const TCtlPanelFrm* panel = m_main.CtlPanelFrm;
    const TModule* m = m_main.currentModule();
    return panel && panel->isVisible() && m && HasMeasured(*m) && m_main.IdleState == 3 &&
           m_main.session().lineFree() && !panel->tmEEPROM.isActive() && !panel->RestartRequest &&
           !QApplication::activeModalWidget() && !QApplication::activePopupWidget();
}

void LiveValues::step() {
    if (!m_due || !mayRead())
        return;
    m_due = false;
    read();
}

void LiveValues::read() {
    HeadendSession& session = m_main.session();
    const ModuleAddress at = session.currentAddress();
    QList<int> changed;
    {
        InputHold hold;
        changed = session.refreshMeasured(at);
    }
    ++m_reads;
    // The panel may have moved on to another module while the reply was awaited.
    if (session.currentAddress() == at && !changed.isEmpty())
        m_main.CtlPanelFrm->showValues(changed);
}
