// The handlers of the panel's controls: each writes the change to the module at once and
// keeps the record, the control and the EEPROM commit in step.
//
// A write waits for its reply while events go on being served, so the user can act again
// meanwhile, and the main window can even clear the panel. Hence: input is ignored while a
// transaction waits, and a handler whose control was cleared away during its write ends
// right after that write.
#include "panel/CtlPanelFrm.h"

#include "link/Link.h"
#include "link/LinkHost.h"
#include "link/SharedState.h"
#include "module/Display.h"
#include "module/ModuleTable.h"
#include "module/ParamAccess.h"
#include "panel/PanelHost.h"
#include "panel/ParamSpinBox.h"

#include <QApplication>
#include <QComboBox>

void TCtlPanelFrm::setOutcomeColour(QWidget* control, bool ok) {
    QPalette p = control->palette();
    const QColor c = ok ? QApplication::palette().color(QPalette::Text) : QColor(255, 0, 0);
    p.setColor(QPalette::Text, c);
    p.setColor(QPalette::ButtonText, c);
    control->setPalette(p);
}

void TCtlPanelFrm::ParamSpinKeyPress(ParamSpinBox* spin) {
    if (lineBusy())
        return;
    const auto change = [this, spin] {
        SetCommitTimer(false);
        CurParam = tagOf(spin);
        const QString text = spin->text();
        if (ParamDisplay::readTyped(text).outcome == ParamDisplay::Reading::NotANumber) {
            reportError(ParamDisplay::notANumberMessage(text));
            return;
        }
        TModule* m = current();
        if (!m)
            return;
        GetParam(*m, CurParam, WorkParam);
        if (!(WorkParam.Flags & FlagTypable))
            return;
        const int d = ParamDisplay::decimalsOf(WorkParam);
        const double divisor = double(ParamDisplay::divisor(d));
        const qint32 old = WorkParam.Values[m->CurChannel];
        const ParamDisplay::TypedEntry typed = ParamDisplay::typedToRaw(WorkParam, text);
        if (typed.outcome != ParamDisplay::TypedEntry::Accepted) {
            QApplication::beep();
            m_messages.showMessage(typed.message, false);
            if (!onPanel(spin))
                return;
            spin->setValue(double(ParamDisplay::scaled(WorkParam, old)) / divisor);
        } else {
            WorkParam.Values[m->CurChannel] = typed.raw;
            spin->setValue(double(ParamDisplay::scaled(WorkParam, typed.raw)) / divisor);
            // The outcome is not looked at: the re-read below shows what the module holds.
            m_link.WriteValue(CurParam, typed.raw);
            if (!onPanel(spin))
                return;
        }
        spin->clearFocus();
        SetCommitTimer(true);
        // A rejected entry is re-read as well, so the panel shows what the module holds.
        if (TModule* now = current())
            now->Dirty = false;
        m_state.ReloadRequest = true;
        m_state.SkipInfoReload = true;
    };
    handler(change, spin);
}

void TCtlPanelFrm::dropTypedText(ParamSpinBox* spin) {
    if (m_handlerDepth > 0 || !onPanel(spin))
        return;
    const QString typed = spin->text();
    spin->revert();
    const TModule* m = current();
    const int tag = tagOf(spin);
    const QString name = m && tag < m->Params.size() ? m->Params[tag].Name : QString();
    m_messages.SetStatus(
        QStringLiteral("%1: %2 was not written (a typed value is written with Enter).")
            .arg(name, typed.trimmed()));
}

void TCtlPanelFrm::ParamSpinTopClick(ParamSpinBox* spin) {
    spinStep(spin, true);
}

void TCtlPanelFrm::ParamSpinBottomClick(ParamSpinBox* spin) {
    spinStep(spin, false);
}

void TCtlPanelFrm::spinStep(ParamSpinBox* spin, bool up) {
    if (lineBusy())
        return;
    const auto change = [this, spin, up] {
        // Every press restarts the countdown: a burst of presses ends in one commit.
        SetCommitTimer(false);
        CurParam = tagOf(spin);
        TModule* m = current();
        if (!m)
            return;
        const double saved = spin->value();
        up ? StepUp(*m, CurParam) : StepDown(*m, CurParam);
        GetParam(*m, CurParam, WorkParam);
        if (m->Dirty) {
            const bool written = m_link.WriteValue(CurParam, WorkParam.Values[m->CurChannel]);
            if (!onPanel(spin))
                return;
            // The record keeps the stepped value either way; a failed write makes the work
            // loop re-read the module.
            const double step = ParamSteps.value(CurParam);
            spin->setValue(written ? spin->value() + (up ? step : -step) : saved);
            setOutcomeColour(spin, written);
        }
        spin->clearFocus();
        SetCommitTimer(true);
        if (TModule* now = current())
            now->Dirty = false;
    };
    handler(change, spin);
}

void TCtlPanelFrm::ParamComboChange(QComboBox* list) {
    const auto change = [this, list] {
        m_state.ReloadRequest = false;
        RestartRequest = false;
        CurParam = tagOf(list);
        const int tag = CurParam;
        TModule* m = current();
        if (!m)
            return;
        GetParam(*m, tag, WorkParam);
        WorkParam.Values[m->CurChannel] = list->currentIndex();
        SetParam(*m, tag, WorkParam);
        // A new module type makes a rescan necessary.
        const int number = WriteNumber(*m, tag);
        if (number != tag)
            RestartRequest = true;
        if (m->Dirty) {
            // A list does not wait for the line: a change while it is taken is a failed write.
            const qint32 value = WorkParam.Values[m->CurChannel];
            const bool written = !m_link.waiting() && m_link.WriteValue(number, value);
            if (written)
                m_link.CommitEEPROM(m_state.CurSlot, m_state.CurSubrack);
            m = current();
            if (!onPanel(list) || !m)
                return;
            if (!written) {
                ++m->ErrorCount;
                m->Messages << QStringLiteral("Error writing parameter value");
            }
        }
        // An entry the record refused snaps back.
        TParam held;
        GetParam(*m, tag, held);
        selectEntry(list, held.Values[m->CurChannel]);
        const bool reload = held.Flags & FlagReload;
        if (m->ErrorCount != 0) {
            setOutcomeColour(list, false);
            if (!m->Messages.isEmpty())
                m_modules.diagLines(m_state.CurSlot, m_state.CurSubrack) << m->Messages.first();
        } else {
            setOutcomeColour(list, true);
            // Just committed: a pending timed commit has nothing left to do.
            if (!SelectsModuleType(*m) && !reload)
                SetCommitTimer(false);
        }
        list->clearFocus();
        m->Dirty = false;
        m_state.ReloadRequest = reload;
    };
    handler(change, list);
}

void TCtlPanelFrm::ParamButtonClick(QWidget* button) {
    // The port is not pulled from under a command that waits for its reply.
    if (m_link.waiting())
        return;
    handler([this, button] {
        // Before the terminal takes the line, where a command frame would land in the console.
        commitPending();
        if (m_link.ComPort().isOpen())
            m_link.closePort();
        if (button)
            CurParam = tagOf(button);
        m_host.setDiagEnabled(false);
        hide();
        PanelShown = false;
        m_host.openTerminalFromPanel();
    });
}
