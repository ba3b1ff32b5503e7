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
    // Refills the port list (each port with what is known of it) and selects the port in use.
    void FormShow();
    void btCloseClick();
    // Another port picked: stored, "The program must be restarted.", and the program ends.
    // The port in use picked again changes nothing.
    void cbComPortChange(int index);
    // Text typed into the port box and confirmed with Enter: a device path of a character
    // device (/dev/ttyUSB0, /dev/serial/by-id/...) or a complete terminal server name
    // (tcp://HOST:PORT, rfc2217://HOST:PORT, remembered in "OXLCom.ini") is added and picked;
    // anything else is refused with the reason and stays in the box, the window open.
    void cbComPortTyped();

    QComboBox* cbComPort = nullptr;
    QComboBox* cbScanTime = nullptr;
    QLabel* StaticText1 = nullptr;
    QLabel* Label2 = nullptr;
    QPushButton* btClose = nullptr;

protected:
    void showEvent(QShowEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void fillPorts();
    void fitPortBox();

    Link& m_link;
    LinkHost& m_host;
    std::function<void()> m_exitProgram;
    bool m_filling = false;
};
