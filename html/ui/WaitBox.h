#pragma once

#include <QLabel>
#include <QProgressBar>
#include <QTimer>
#include <QWidget>

// The box shown while a module has asked for time: a progress bar that fills in the
// seconds asked (one step per half second) above the module's text, in a white borderless
// window with a blue frame, centred on the screen.
class WaitBox : public QWidget {
    Q_OBJECT
public:
    WaitBox(int seconds, const QString& text, QWidget* owner);

    QProgressBar* WaitProgressBar;
    QLabel* WaitPanel;
    QTimer TimerWait;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void WaitOnTimer();
    void PaintWaitBorder();
};
