// Building the panel: one cell (control and caption label) per parameter that is not hidden,
// in three columns filled top to bottom.
#include "panel/CtlPanelFrm.h"

#include "link/LinkHost.h"
#include "link/SharedState.h"
#include "module/Display.h"
#include "module/ModuleTable.h"
#include "module/ParamAccess.h"
#include "panel/ParamSpinBox.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QStyle>

namespace {
constexpr int kColumnPitch = 204;
constexpr int kRowPitch = 35;
constexpr int kControlWidth = 90;
// Left of a label in its cell, and the gap it keeps to whatever is right of it.
constexpr int kLabelLeft = 100;
constexpr int kLabelGap = 4;

const QColor kAqua(0, 255, 255);
const QColor kYellow(255, 255, 0);
const QColor kRed(255, 0, 0);

void setColour(QWidget* w, QPalette::ColorRole role, const QColor& c) {
    QPalette p = w->palette();
    p.setColor(role, c);
    w->setPalette(p);
}

// A caption label that ends with "…" where its cell (or the window) ends; text() and the
// tooltip keep the whole name and units.
class CellLabel : public QLabel {
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        const int edge = parentWidget() ? parentWidget()->width() - x() - kLabelGap : width();
        const QRect room(0, 0, qMax(0, qMin(width(), edge)), height());
        const QString shown = fontMetrics().elidedText(text(), Qt::ElideRight, room.width());
        style()->drawItemText(&p, room, Qt::AlignLeft | Qt::AlignVCenter, palette(), isEnabled(),
                              shown, foregroundRole());
    }
};

// A list whose open list is as wide as its longest entry, in the font it is shown in.
class PanelList : public QComboBox {
public:
    using QComboBox::QComboBox;

    void showPopup() override {
        QAbstractItemView* v = view();
        const bool scrolls = count() > maxVisibleItems();
        v->setMinimumWidth(v->sizeHintForColumn(0) +
                           2 * v->style()->pixelMetric(QStyle::PM_DefaultFrameWidth) +
                           (scrolls ? v->style()->pixelMetric(QStyle::PM_ScrollBarExtent) : 0));
        QComboBox::showPopup();
    }
};

// A read-only value stays a disabled control, but the values are what the engineer came
// for: drawn in a dark grey that keeps 4.5:1 (WCAG AA) on the disabled background, instead
// of the style's pale grey (about 1.6:1).
const QColor kDisabledValue(80, 80, 80);
void keepLegible(QWidget* w) {
    QPalette p = w->palette();
    for (const QPalette::ColorRole role :
         {QPalette::Text, QPalette::ButtonText, QPalette::WindowText})
        p.setColor(QPalette::Disabled, role, kDisabledValue);
    w->setPalette(p);
}

// A read-only text shows its start; the tooltip holds all of it.
void showStart(QLineEdit* edit) {
    edit->setCursorPosition(0);
    edit->setToolTip(edit->text());
}

} // namespace

void TCtlPanelFrm::BuildPanel() {
    ClearPanel();
    handler([this] {
        keepCommitInterval();
        const TModule* m = current();
        const int count = m ? int(qMin<qsizetype>(qMax(0, m->ParamCount), m->Params.size())) : 0;
        try {
            ParamControls.resize(count);
            ParamLabels.resize(count);
            ParamSteps.resize(count);
        } catch (const std::bad_alloc&) {
            m_messages.showMessage(QStringLiteral("Dynamic array exception"), true);
            return;
        }
        // Every cell placed counts, error entries included, so that none falls outside the
        // window.
        int cells = 0;
        for (int i = 0; i < count; ++i)
            cells += (m->Params[i].Flags & FlagHidden) ? 0 : 1;
        PanelRows = (cells + 2) / 3;
        if (count < 1)
            return;
        buildCells(*m, count);
    });
    Q_EMIT built();
}

void TCtlPanelFrm::buildCells(const TModule& m, int count) {
    int cell = 0;
    for (int i = 0; i < count; ++i) {
        GetParam(m, i, WorkParam);
        if (WorkParam.Flags & FlagHidden)
            continue;
        QWidget* w = createControl(m, i);
        w->setGeometry(kColumnPitch * (cell / PanelRows) + 5, kRowPitch * (cell % PanelRows) + 10,
                       kControlWidth, w->sizeHint().height());
        if (WorkParam.Flags & FlagReadOnly) {
            w->setEnabled(false);
            keepLegible(w);
        }
        w->show();
        ParamControls[i] = w;
        placeLabel(i, cell);
        ++cell;
    }
}

QFont TCtlPanelFrm::controlFont() const {
    QFont f = content()->font();
    f.setBold(true);
    return f;
}

QWidget* TCtlPanelFrm::createControl(const TModule& m, int index) {
    const qint32 v = WorkParam.Values[m.CurChannel];
    QWidget* w = nullptr;
    switch (WorkParam.Kind) {
    case KindNumeric:
        w = createSpinBox(m, index);
        break;
    case KindNumericRO:
        w = createReadOnlyNumber(m);
        break;
    case KindSegmented:
    case KindEnum:
    case KindOnOff:
        w = createList(ParamDisplay::listEntries(WorkParam), v);
        break;
    case KindInfo: {
        auto* edit = new QLineEdit(WorkParam.Text, content());
        edit->setReadOnly(true);
        showStart(edit);
        w = edit;
        break;
    }
    case KindTerminal: {
        auto* button = new QPushButton(WorkParam.Name, content());
        connect(button, &QPushButton::clicked, this, [this, button] { ParamButtonClick(button); });
        button->setProperty("Tag", index);
        return button; // keeps the window's regular font
    }
    default:
        return createErrorCell();
    }
    w->setProperty("Tag", index);
    w->setFont(controlFont());
    return w;
}

QWidget* TCtlPanelFrm::createSpinBox(const TModule& m, int index) {
    auto* spin = new ParamSpinBox(content());
    connect(spin, &ParamSpinBox::topClick, this, [this, spin] { ParamSpinTopClick(spin); });
    connect(spin, &ParamSpinBox::bottomClick, this, [this, spin] { ParamSpinBottomClick(spin); });
    if (WorkParam.Flags & FlagTypable) {
        spin->setTypingEnabled(true);
        setColour(spin, QPalette::Base, kAqua);
        connect(spin, &ParamSpinBox::enterPressed, this, [this, spin] { ParamSpinKeyPress(spin); });
        connect(spin, &ParamSpinBox::leftWithTypedText, this,
                [this, spin] { dropTypedText(spin); });
    }
    const int d = ParamDisplay::decimalsOf(WorkParam);
    const double divisor = double(ParamDisplay::divisor(d));
    spin->setDecimals(d);
    ParamSteps[index] = double(WorkParam.Step) / divisor;
    spin->setRange(double(ParamDisplay::scaled(WorkParam, 0)) / divisor,
                   double(ParamDisplay::highest(WorkParam)) / divisor);
    spin->setValue(double(ParamDisplay::scaled(WorkParam, WorkParam.Values[m.CurChannel])) /
                   divisor);
    return spin;
}

QWidget* TCtlPanelFrm::createReadOnlyNumber(const TModule& m) {
    const qint64 value = ParamDisplay::scaled(WorkParam, WorkParam.Values[m.CurChannel]);
    auto* edit = new QLineEdit(ParamDisplay::fixedText(value, ParamDisplay::decimalsOf(WorkParam)),
                               content());
    edit->setReadOnly(true);
    showStart(edit);
    return edit;
}

QWidget* TCtlPanelFrm::createList(const QStringList& entries, qint32 selected) {
    auto* list = new PanelList(content());
    list->setEditable(false);
    list->addItems(entries);
    selectEntry(list, selected);
    // An entry longer than the box shows its start; the tooltip holds the whole entry.
    list->setToolTip(list->currentText());
    connect(list, &QComboBox::currentTextChanged, list, &QWidget::setToolTip);
    // Bound after the entry is selected: only the user's changes reach the handler.
    connect(list, &QComboBox::currentIndexChanged, this, [this, list] { ParamComboChange(list); });
    return list;
}

QWidget* TCtlPanelFrm::createErrorCell() {
    auto* error = new QLabel(QStringLiteral("ERROR"), content());
    error->setAutoFillBackground(true);
    setColour(error, QPalette::Window, kYellow);
    setColour(error, QPalette::WindowText, kRed);
    error->setFont(controlFont());
    return error;
}

void TCtlPanelFrm::selectEntry(QComboBox* list, qint32 entry) {
    const QSignalBlocker quiet(list);
    list->setCurrentIndex(entry >= 0 && entry < list->count() ? entry : -1);
}

void TCtlPanelFrm::placeLabel(int index, int cell) {
    auto* label = new CellLabel(content());
    QFont f = content()->font();
    f.setPointSize(11);
    label->setFont(f);
    setColour(label, QPalette::WindowText, kYellow);
    if (WorkParam.Kind != KindTerminal)
        label->setText(WorkParam.Units.isEmpty()
                           ? WorkParam.Name
                           : WorkParam.Name + QLatin1Char(' ') + WorkParam.Units);
    label->setToolTip(label->text());
    label->adjustSize();
    // Up to the next column's control; the units of a long name stay in the tooltip.
    label->resize(qMin(label->width(), kColumnPitch + 5 - kLabelLeft - kLabelGap), label->height());
    label->move(kColumnPitch * (cell / PanelRows) + kLabelLeft,
                kRowPitch * (cell % PanelRows) + 13);
    label->show();
    ParamLabels[index] = label;
}
