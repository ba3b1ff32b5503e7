#include "link/ui/CommDialog.h"

#include "link/Link.h"
#include "link/LinkHost.h"
#include "link/PortInfo.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyledItemDelegate>

namespace {
constexpr int kBoxLeft = 110;
constexpr int kBoxWidth = 96;
constexpr int kWidth = 218;
constexpr int kHeight = 124;
constexpr int kArrowAndFrame = 36;
constexpr int kEditMargins = 12; // the edit's frame, text margins and cursor

// The drop-down list shows what is known of each port after its name (kept as the entry's
// tool tip); the box itself shows the name alone.
class PortDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        const QString details = index.data(Qt::ToolTipRole).toString();
        if (!details.isEmpty())
            option->text += QStringLiteral("   ") + details;
    }
};
} // namespace

TCfrm::TCfrm(QWidget* owner, Link& link, LinkHost& host, std::function<void()> exitProgram)
    : QDialog(owner), m_link(link), m_host(host), m_exitProgram(std::move(exitProgram)) {
    setObjectName(QStringLiteral("Cfrm"));
    setWindowTitle(QStringLiteral("Communications"));
    setFixedSize(kWidth, kHeight);
    StaticText1 = new QLabel(QStringLiteral("Com Port"), this);
    StaticText1->setGeometry(12, 12, 90, 16);
    cbComPort = new QComboBox(this);
    cbComPort->setObjectName(QStringLiteral("cbComPort"));
    cbComPort->setGeometry(kBoxLeft, 10, kBoxWidth, 22);
    cbComPort->setItemDelegate(new PortDelegate(cbComPort));
    // A device path or a terminal server's port can be typed in.
    cbComPort->setEditable(true);
    cbComPort->setInsertPolicy(QComboBox::NoInsert);
    Label2 = new QLabel(QStringLiteral("Scan Time Out"), this);
    Label2->setGeometry(12, 48, 90, 16);
    cbScanTime = new QComboBox(this);
    cbScanTime->setObjectName(QStringLiteral("cbScanTime"));
    cbScanTime->setEditable(true);
    // Typed text counts only when it is one of the entries: nothing is added.
    cbScanTime->setInsertPolicy(QComboBox::NoInsert);
    cbScanTime->addItems({"50", "100", "150", "200", "300", "500"});
    cbScanTime->setGeometry(110, 46, 96, 22);
    btClose = new QPushButton(QStringLiteral("Close"), this);
    btClose->setGeometry(70, 88, 76, 25);
    btClose->setDefault(true);
    connect(btClose, &QPushButton::clicked, this, &TCfrm::btCloseClick);
    connect(cbComPort, &QComboBox::activated, this, &TCfrm::cbComPortChange);
    // A name typed in is seen whole while it is typed (a by-id name is long).
    connect(cbComPort, &QComboBox::editTextChanged, this, &TCfrm::fitPortBox);
    cbComPort->lineEdit()->installEventFilter(this);
    cbComPort->addItem(QStringLiteral("COM1"));
}

void TCfrm::selectScanTime(int value) {
    const int index = cbScanTime->findText(QString::number(value), Qt::MatchExactly);
    cbScanTime->setCurrentIndex(index < 0 ? 0 : index);
}

void TCfrm::fillPorts() {
    m_filling = true;
    const SerialPort& port = m_link.ComPort();
    QList<PortInfo> ports = Ports::list();
    for (const QString& remote : port.settings().RemotePorts)
        ports << PortInfo{remote, {}, {}, {}, {}, {}};
    // The port in use, whatever its form (COM1, a path, a by-id name), is shown as it is.
    if (!port.portName().isEmpty())
        ports << Ports::describe(port.portName());
    cbComPort->clear();
    for (const PortInfo& p : ports) {
        if (cbComPort->findText(p.name) >= 0)
            continue;
        cbComPort->addItem(p.name);
        cbComPort->setItemData(cbComPort->count() - 1, p.details(), Qt::ToolTipRole);
    }
    cbComPort->setCurrentIndex(cbComPort->findText(port.portName()));
    cbComPort->setToolTip(port.roundTripSamples() > 0 ? port.roundTripText() : QString());
    fitPortBox();
    m_filling = false;
}

bool TCfrm::eventFilter(QObject* watched, QEvent* e) {
    // Enter in the port box confirms the name typed there, never the window: a refused name
    // stays in the box to be mended.
    if (watched != cbComPort->lineEdit() || e->type() != QEvent::KeyPress)
        return QDialog::eventFilter(watched, e);
    const int key = static_cast<QKeyEvent*>(e)->key();
    if (key != Qt::Key_Return && key != Qt::Key_Enter)
        return false;
    cbComPortTyped();
    return true;
}

void TCfrm::fitPortBox() {
    // Wide enough for the whole name shown, within the screen; the list as wide as its widest
    // entry.
    const int text =
        cbComPort->lineEdit()->fontMetrics().horizontalAdvance(cbComPort->currentText());
    const int most = (screen() ? screen()->availableGeometry().width() : 1024) - kWidth;
    const int box = std::clamp(text + kArrowAndFrame + kEditMargins, kBoxWidth, most);
    cbComPort->setGeometry(kBoxLeft, 10, box, 22);
    setFixedSize(kWidth + box - kBoxWidth, kHeight);
    btClose->move((width() - btClose->width()) / 2, btClose->y());
    cbComPort->view()->setMinimumWidth(cbComPort->view()->sizeHintForColumn(0) + kArrowAndFrame);
}

void TCfrm::FormShow() {
    fillPorts();
}

void TCfrm::showEvent(QShowEvent* e) {
    FormShow();
    QDialog::showEvent(e);
}

void TCfrm::btCloseClick() {
    m_link.StorePortSettings();
    // Text typed into the box counts only when it is one of the entries.
    const int index = cbScanTime->findText(cbScanTime->currentText(), Qt::MatchExactly);
    cbScanTime->setCurrentIndex(index < 0 ? 0 : index);
    m_link.ScanTimeout = cbScanTime->currentText().toInt();
    accept();
}

void TCfrm::cbComPortTyped() {
    const QString text = cbComPort->currentText().trimmed();
    if (text.isEmpty()) { // nothing typed: the port in use again
        cbComPort->setCurrentIndex(cbComPort->findText(m_link.ComPort().portName()));
        return;
    }
    if (const int listed = cbComPort->findText(text); listed >= 0) {
        cbComPortChange(listed); // an entry of the list: picked as such
        return;
    }
    const bool remote = Transport::isRemote(text);
    const QString wrong =
        remote ? Transport::checkRemoteName(text) : Ports::checkDevice(Transport::devicePath(text));
    if (!wrong.isEmpty()) {
        m_host.showMessage(wrong, true);
        return;
    }
    if (remote) {
        QStringList& remembered = m_link.ComPort().settings().RemotePorts;
        remembered.removeAll(text);
        remembered << text;
    }
    cbComPort->addItem(text);
    cbComPortChange(cbComPort->count() - 1);
}

void TCfrm::cbComPortChange(int index) {
    if (m_filling || index < 0)
        return;
    const QString name = cbComPort->itemText(index);
    // The port in use picked again: nothing changes.
    if (name == m_link.ComPort().portName()) {
        m_link.StorePortSettings(); // a remote entry just typed is remembered all the same
        return;
    }
    const QString before = m_link.ComPort().portName();
    m_link.closePort();
    m_link.ComPort().setPortName(name);
    if (!m_link.StorePortSettings()) {
        // The next start would not know the port: keep the one in use, and say why.
        m_link.ComPort().setPortName(before);
        cbComPort->setCurrentIndex(cbComPort->findText(before));
        m_host.showMessage(
            QStringLiteral("The port cannot be changed: %1 cannot be written in %2.")
                .arg(PortSettingsFile, QDir::toNativeSeparators(QDir::currentPath())),
            true);
        return;
    }
    m_link.LoadPortSettings();
    m_host.showMessage(QStringLiteral("The program must be restarted."), false);
    reject();
    m_exitProgram();
}
