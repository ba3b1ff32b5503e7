#pragma once

#include <QDialog>
#include <functional>

class Link;
class LinkHost;
class QComboBox;
class QLabel;
class QPushButton;

// The "Communications" window: the port to use and the scan time-out.
class TCfrm : public QDialog {
    Q_OBJECT
public:
    // exitProgram runs the main window's exit routine after the port has been changed.
    TCfrm(QWidget* owner, Link& link, LinkHost& host, std::function<void()> exitProgram);

    // Selects the scan time-out entry of this value, or the first entry when there is none.
    void selectScanTime(int value);
    // Refills the port list and selects the port in use.
    void FormShow();
    void btCloseClick();
    void cbComPortChange(int index);

    QComboBox* cbComPort = nullptr;
    QComboBox* cbScanTime = nullptr;
    QLabel* StaticText1 = nullptr;
    QLabel* Label2 = nullptr;
    QPushButton* btClose = nullptr;

protected:
    void showEvent(QShowEvent* e) override;

private:
    void fillPorts();

    Link& m_link;
    LinkHost& m_host;
    std::function<void()> m_exitProgram;
    bool m_filling = false;
};
