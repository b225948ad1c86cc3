// The countdown window before the computer is switched off at the end of a batch. Cancel, or
// closing the window, keeps the computer running.
#pragma once

#include "run/PowerOff.h"

#include <QDialog>
#include <QTimer>
#include <chrono>

class QLabel;
class QPushButton;

namespace tessaro {

class TfrmShutDown : public QDialog {
    Q_OBJECT
public:
    // One tick takes a second; tests make it shorter.
    explicit TfrmShutDown(QWidget* owner, int seconds = ShutDownCountdownSeconds,
                          std::chrono::milliseconds tick = std::chrono::seconds(1));

    // Shows the window without waiting for it and starts counting down.
    void Start();
    int SecondsLeft() const { return secondsLeft_; }
    bool Counting() const { return timer_.isActive(); }
    QLabel* CountdownLabel() const { return lblCountdown_; }
    QPushButton* CancelButton() const { return btnCancel_; }

signals:
    // The countdown ran out and the power-off command was started (or could not be).
    void poweringOff(bool started);

private:
    void Tick();
    void ShowSecondsLeft();

    QLabel* lblCountdown_ = nullptr;
    QPushButton* btnCancel_ = nullptr;
    QTimer timer_;
    int seconds_;
    int secondsLeft_;
};

} // namespace tessaro
