// Measured values shown anew while the panel stays open.
#include "panel/CtlPanelFrm.h"

#include "module/Display.h"
#include "module/ModuleTable.h"
#include "module/ParamAccess.h"

#include <QComboBox>
#include <QLineEdit>

void TCtlPanelFrm::showValues(const QList<int>& indexes) {
    const TModule* m = current();
    if (!m)
        return;
    for (const int i : indexes) {
        QWidget* control = ParamControls.value(i).data();
        if (!control || i >= m->Params.size())
            continue;
        TParam p;
        GetParam(*m, i, p);
        const qint32 raw = p.Values[m->CurChannel];
        if (auto* edit = qobject_cast<QLineEdit*>(control)) {
            edit->setText(ParamDisplay::shownValue(p, raw));
            edit->setCursorPosition(0);
            edit->setToolTip(edit->text());
        } else if (auto* list = qobject_cast<QComboBox*>(control)) {
            selectEntry(list, raw);
        }
    }
}
