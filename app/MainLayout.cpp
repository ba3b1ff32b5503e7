// The main window's controls: caption bar, menus, the two subrack pages with their slot
// buttons, the right panel with the lamp and buttons, the status bar with its pop-up menu.
#include "app/Artwork.h"
#include "app/Led.h"
#include "app/MainWindow.h"
#include "panel/GradientCaption.h"

#include <QLabel>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QStyleOption>
#include <QStylePainter>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace {
const QColor kSilver(192, 192, 192);
const QColor kGrey(128, 128, 128);
const QColor kDesktop(0, 128, 128);
constexpr int kButtonLefts[8] = {2, 70, 138, 206, 274, 342, 410, 478};
constexpr int kButtonTops[2] = {24, 64};

// A slot button: the module's type name, cut at its end with "…" when it is too long for
// the button (the tooltip holds the whole name); text() stays the whole name. A faulty
// module's caption is red, and red alone is lost on one man in twelve (and in greyscale):
// its button also carries a dark frame. The style's pressed look is a faint fill that the
// fault frame outweighs: the selected slot carries a blue frame of its own, outside the fault
// frame, and takes the keyboard focus, so that the focus frame is never on another slot.
class SlotButton : public QToolButton {
public:
    using QToolButton::QToolButton;
    static constexpr int MarkWidth = 2;

protected:
    void paintEvent(QPaintEvent*) override {
        QStylePainter p(this);
        QStyleOptionToolButton option;
        initStyleOption(&option);
        option.text = fontMetrics().elidedText(text(), Qt::ElideRight, width() - 6);
        p.drawComplexControl(QStyle::CC_ToolButton, option);
        p.setBrush(Qt::NoBrush);
        if (palette().color(QPalette::ButtonText) == TMainFrm::FaultColour)
            frame(p, TMainFrm::FaultMark, MarkWidth + 1);
        if (isChecked())
            frame(p, TMainFrm::SelectionMark, MarkWidth / 2);
    }
    void checkStateSet() override {
        QToolButton::checkStateSet();
        if (isChecked())
            setFocus(Qt::OtherFocusReason);
    }

private:
    void frame(QPainter& p, const QColor& colour, int inset) {
        p.setPen(QPen(colour, MarkWidth));
        p.drawRect(QRectF(rect()).adjusted(inset, inset, -inset, -inset));
    }
};

// Texts that are no controls read alike whether the window's controls are enabled or not.
void keepReadable(QLabel* label) {
    QPalette pal = label->palette();
    pal.setColor(QPalette::Disabled, QPalette::WindowText,
                 pal.color(QPalette::Active, QPalette::WindowText));
    label->setPalette(pal);
}

QWidget* filled(QWidget* parent, const QColor& colour, const QRect& geometry) {
    auto* w = new QWidget(parent);
    w->setAutoFillBackground(true);
    QPalette pal = w->palette();
    pal.setColor(QPalette::Window, colour);
    w->setPalette(pal);
    w->setGeometry(geometry);
    return w;
}
} // namespace

void TMainFrm::buildLayout() {
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setWindowIcon(orvexIcon());
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    RxGCaption = new GradientCaption(this);
    RxGCaption->setObjectName(QStringLiteral("RxGCaption"));
    RxGCaption->setIcon(orvexIcon());
    RxGCaption->setButtons(true, true);
    connect(RxGCaption, &GradientCaption::minimiseClicked, this, &QWidget::showMinimized);
    connect(RxGCaption, &GradientCaption::closeClicked, this, &QWidget::close);
    layout->addWidget(RxGCaption);
    buildMenus();
    layout->addWidget(menuBar);
    auto* client = filled(this, kSilver, QRect(0, 0, ClientWidth, ClientHeight));
    client->setObjectName(QStringLiteral("client"));
    client->setFixedSize(ClientWidth, ClientHeight);
    layout->addWidget(client);
    filled(client, kDesktop, QRect(0, 0, ClientWidth, 3));
    pcModSwitch = new QTabWidget(client);
    pcModSwitch->setObjectName(QStringLiteral("pcModSwitch"));
    pcModSwitch->setGeometry(0, 3, 553, 119);
    buildSubrackPages();
    connect(pcModSwitch, &QTabWidget::currentChanged, this,
            [this](int index) { guarded([&] { pcModSwitchChange(index); }); });
    rightPanel = filled(client, kGrey, QRect(553, 3, 58, 119));
    buildRightPanel();
    statusBar = new QStatusBar(client);
    statusBar->setGeometry(0, 122, ClientWidth, 19);
    buildStatusBar();
    setFixedSize(sizeHint());
}

void TMainFrm::buildMenus() {
    menuBar = new QMenuBar(this);
    mnFile = menuBar->addMenu(QStringLiteral("&File"));
    itmSaveConfig = mnFile->addAction(QStringLiteral("&Save Config"));
    itmLoadConfig = mnFile->addAction(QStringLiteral("&Load Config"));
    itmSaveMod = mnFile->addAction(QStringLiteral("Save &Module"));
    itmLoadModule = mnFile->addAction(QStringLiteral("Load M&odule"));
    itmCompare = mnFile->addAction(QStringLiteral("&Compare with file…"));
    mnFile->addSeparator();
    itmExit = mnFile->addAction(QStringLiteral("E&xit"));
    connect(itmExit, &QAction::triggered, this, [this] { guarded([this] { btCloseClick(); }); });
    menuBar->addAction(QStringLiteral("-"))->setEnabled(false);
    mnPort = menuBar->addMenu(QStringLiteral("&Settings"));
    itmCommSettings = mnPort->addAction(QStringLiteral("&Communication"));
    itmBackupFolder = mnPort->addAction(QStringLiteral("&Backup folder…"));
    mnPort->addSeparator();
    itmLineMonitor = mnPort->addAction(QStringLiteral("Line &monitor…"));
    itmMessageLog = mnPort->addAction(QStringLiteral("Message &log…"));
    mnLive = mnPort->addMenu(QStringLiteral("Live &values"));
    menuBar->addAction(QStringLiteral("-"))->setEnabled(false);
    mnHelp = menuBar->addMenu(QStringLiteral("&Help"));
    RussianHelp = mnHelp->addAction(QStringLiteral("&Russian"));
    EnglishHelp = mnHelp->addAction(QStringLiteral("&English"));
    mnHelp->addSeparator();
    About = mnHelp->addAction(QStringLiteral("&About"));
}

void TMainFrm::buildSubrackPages() {
    for (int page = 0; page < 2; ++page) {
        QWidget* ts = filled(nullptr, kSilver, QRect());
        ts->setObjectName(page == 0 ? QStringLiteral("tsG1") : QStringLiteral("tsG2"));
        (page == 0 ? tsG1 : tsG2) = ts;
        for (int i = 0; i < 16; ++i) {
            const int n = page * 16 + i;
            auto* b = new SlotButton(ts);
            b->setObjectName(QStringLiteral("sbM%1").arg(n + 1));
            b->setProperty("tag", i + 1);
            b->setCheckable(true);
            b->setFocusPolicy(Qt::StrongFocus);
            b->setText(QStringLiteral("?"));
            b->setGeometry(kButtonLefts[i % 8], kButtonTops[i / 8], 65, 20);
            QFont small = b->font();
            small.setPixelSize(10);
            b->setFont(small);
            sbM[n] = b;
            connect(b, &QToolButton::clicked, this, [this, b] { guarded([&] { sbM1Click(b); }); });
            auto* label = new QLabel(QString::number(i + 1), ts);
            label->setAlignment(Qt::AlignCenter);
            label->setGeometry(kButtonLefts[i % 8], kButtonTops[i / 8] - 14, 65, 13);
            keepReadable(label);
            slotLabels[n] = label;
        }
        pcModSwitch->addTab(ts, page == 0 ? QStringLiteral("Subrack #1")
                                          : QStringLiteral("Subrack #2"));
    }
}

void TMainFrm::buildRightPanel() {
    ldReady = new TLed(rightPanel);
    ldReady->setObjectName(QStringLiteral("ldReady"));
    ldReady->move(8, 6);
    auto button = [this](const QString& text, const char* name, int top) {
        auto* b = new QPushButton(text, rightPanel);
        b->setObjectName(QLatin1String(name));
        b->setGeometry(4, top, 50, 25);
        return b;
    };
    btRestart = button(QStringLiteral("Scan"), "btRestart", 18);
    connect(btRestart, &QPushButton::clicked, this,
            [this] { guarded([this] { btRestartClick(); }); });
    btInfo = button(QStringLiteral("Diag"), "btInfo", 50);
    btClose = button(QStringLiteral("E&xit"), "btClose", 88);
    connect(btClose, &QPushButton::clicked, this, [this] { guarded([this] { btCloseClick(); }); });
    btRestart->setFocus();
}

void TMainFrm::buildStatusBar() {
    statusBar->setSizeGripEnabled(false);
    statusLabel = new QLabel(statusBar);
    statusLabel->setObjectName(QStringLiteral("statusText"));
    // The status text stays readable while the controls are disabled (scan, save, load).
    keepReadable(statusLabel);
    statusBar->addWidget(statusLabel, 1);
    statusProgress = new QProgressBar(statusBar);
    statusProgress->setObjectName(QStringLiteral("statusProgress"));
    statusProgress->setFixedSize(140, 13);
    statusProgress->setTextVisible(false);
    statusProgress->hide();
    statusBar->addPermanentWidget(statusProgress);
    statusMenu = new QMenu(this);
    ModReset = statusMenu->addAction(QStringLiteral("Reset module"));
    ResetModuletype = statusMenu->addAction(QStringLiteral("Reset Module type"));
    ModDefaults = statusMenu->addAction(QStringLiteral("Default params"));
    SpecAddr = statusMenu->addAction(QStringLiteral("Special addr."));
    LineBreak = statusMenu->addAction(QStringLiteral("LineBreak"));
    statusMenu->addSeparator();
    LineMonitor = statusMenu->addAction(QStringLiteral("Line monitor…"));
    statusBar->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(statusBar, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { statusMenu->popup(statusBar->mapToGlobal(pos)); });
}
