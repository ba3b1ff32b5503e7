// The panel window: creation, showing, clearing, the handler frame and the commit timer.
#include "panel/CtlPanelFrm.h"

#include "link/Link.h"
#include "link/LinkHost.h"
#include "link/SharedState.h"
#include "module/Display.h"
#include "module/ModuleTable.h"
#include "module/ParamAccess.h"
#include "panel/GradientCaption.h"
#include "panel/PanelHost.h"
#include "panel/ParamSpinBox.h"

#include <QApplication>
#include <QComboBox>

TCtlPanelFrm::TCtlPanelFrm(QWidget* owner, Link& link, ModuleTable& modules, SharedState& state,
                           PanelHost& host, LinkHost& messages)
    : SatelliteWindow(owner, QColor(0, 128, 128), false), m_link(link), m_modules(modules),
      m_state(state), m_host(host), m_messages(messages) {
    setObjectName(QStringLiteral("CtlPanelFrm"));
    captionBar()->setStartColor(QColor(0, 255, 255));
    captionBar()->setTextColors(Qt::black, QColor(0, 128, 0));
    // The cells' font: the application's family at the small size the layout is drawn for.
    QFont font = QApplication::font();
    font.setPixelSize(11);
    content()->setFont(font);
    m_retired = new QWidget(this);
    m_retired->hide();
    tmEEPROM.setSingleShot(false);
    tmEEPROM.setInterval(CommitDelayMs);
    connect(&tmEEPROM, &QTimer::timeout, this, &TCtlPanelFrm::tmEEPROMTimer);
    PanelShown = false;
    hide();
}

void TCtlPanelFrm::showEvent(QShowEvent* e) {
    SatelliteWindow::showEvent(e);
    FormShow();
}

void TCtlPanelFrm::FormShow() {
    PanelShown = true;
    m_host.placePanel();
}

void TCtlPanelFrm::ClearPanel() {
    const auto children = content()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    for (QWidget* w : children) {
        if (m_handlerDepth == 0) {
            delete w;
            continue;
        }
        // A handler further up the stack may still be inside this control's event: take it
        // off the panel and out of reach of the handlers now, destroy it when they are done.
        QObject::disconnect(w, nullptr, this, nullptr);
        w->setParent(m_retired);
    }
}

int TCtlPanelFrm::controlCount() const {
    return content()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly).size();
}

int TCtlPanelFrm::tagOf(const QObject* control) {
    return control ? control->property("Tag").toInt() : 0;
}

void TCtlPanelFrm::handler(const std::function<void()>& fn, QWidget* control) {
    ++m_handlerDepth;
    const TModule* module = control ? current() : nullptr;
    TParam before;
    try {
        if (module)
            GetParam(*module, tagOf(control), before);
        fn();
    } catch (const PortError& e) {
        // The port failed before or during the command: nothing waits for a reply now, and a
        // LinkBusy left set by the write would keep every later write off the line.
        if (!m_link.waiting())
            m_link.LinkBusy = false;
        if (module)
            restoreAfterLostWrite(control, module, before);
        reportError(e.text());
    } catch (const OrvexError& e) {
        reportError(e.text());
    } catch (const std::exception& e) {
        reportError(QString::fromLocal8Bit(e.what()));
    }
    if (--m_handlerDepth == 0) {
        // Deferred: the event that started the handler may still be on its way out.
        for (QObject* w : m_retired->children())
            w->deleteLater();
    }
}

void TCtlPanelFrm::restoreAfterLostWrite(QWidget* control, const TModule* module,
                                         const TParam& before) {
    TModule* m = current();
    // The main window may have moved on to another module while the write waited.
    if (m != module || !onPanel(control))
        return;
    SetParam(*m, tagOf(control), before);
    m->Dirty = false;
    const qint32 raw = before.Values[m->CurChannel];
    if (auto* list = qobject_cast<QComboBox*>(control)) {
        selectEntry(list, raw);
    } else if (auto* spin = qobject_cast<ParamSpinBox*>(control)) {
        const double divisor = double(ParamDisplay::divisor(ParamDisplay::decimalsOf(before)));
        const QSignalBlocker quiet(spin);
        spin->setValue(double(ParamDisplay::scaled(before, raw)) / divisor);
    }
    setOutcomeColour(control, false);
}

void TCtlPanelFrm::reportError(const QString& text) {
    m_messages.showMessage(text, true);
}

TModule* TCtlPanelFrm::current() const {
    return m_modules.at(m_state.CurSlot, m_state.CurSubrack);
}

bool TCtlPanelFrm::lineBusy() const {
    return m_link.LinkBusy || m_link.waiting();
}

bool TCtlPanelFrm::onPanel(const QWidget* control) const {
    return control && control->parentWidget() == content();
}

void TCtlPanelFrm::keepCommitInterval() {
    // Qt restarts a running timer whenever its interval is set, even to the same value.
    if (tmEEPROM.interval() != CommitDelayMs)
        tmEEPROM.setInterval(CommitDelayMs);
}

void TCtlPanelFrm::SetCommitTimer(bool enabled) {
    keepCommitInterval();
    if (!enabled)
        tmEEPROM.stop();
    else if (!tmEEPROM.isActive())
        tmEEPROM.start();
}

void TCtlPanelFrm::tmEEPROMTimer() {
    handler([this] {
        if (m_link.waiting()) {
            // Another command has the line: one transaction at a time, so try again later.
            SetCommitTimer(false);
            SetCommitTimer(true);
            return;
        }
        m_link.LinkBusy = false;
        SetCommitTimer(false);
        // While the terminal window holds the line a frame would land in the console; the
        // work loop commits when the terminal closes and the module is re-read.
        if (m_state.TerminalMode || !current())
            return;
        m_link.CommitEEPROM(m_state.CurSlot, m_state.CurSubrack);
    });
}

void TCtlPanelFrm::commitPending() {
    if (tmEEPROM.isActive())
        tmEEPROMTimer();
}
