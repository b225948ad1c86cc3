#include "run/FrmShutDown.h"

#include "core/DialogService.h"
#include "core/FormWidgets.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace tessaro {

TfrmShutDown::TfrmShutDown(QWidget* owner, int seconds, std::chrono::milliseconds tick)
    : QDialog(owner), seconds_(seconds), secondsLeft_(seconds) {
    setObjectName(QStringLiteral("frmShutDown"));
    setWindowTitle(QStringLiteral("Shut Down"));
    setWindowModality(Qt::ApplicationModal);
    auto* layout = new QVBoxLayout(this);
    lblCountdown_ = Named(new QLabel(this), "lblCountdown");
    layout->addWidget(lblCountdown_);
    btnCancel_ = Named(new QPushButton(QStringLiteral("Cancel"), this), "btnCancel");
    btnCancel_->setDefault(true);
    layout->addWidget(btnCancel_, 0, Qt::AlignHCenter);
    connect(btnCancel_, &QPushButton::clicked, this, &QDialog::reject);
    // Closing the window in any way cancels.
    connect(this, &QDialog::finished, &timer_, &QTimer::stop);

    timer_.setInterval(tick);
    connect(&timer_, &QTimer::timeout, this, &TfrmShutDown::Tick);
}

void TfrmShutDown::Start() {
    secondsLeft_ = seconds_;
    ShowSecondsLeft();
    show();
    timer_.start();
}

void TfrmShutDown::ShowSecondsLeft() {
    const QString text = QString::fromStdString(ShutDownCountdownText(secondsLeft_));
    lblCountdown_->setText(text);
    lblCountdown_->setAccessibleName(text);
}

void TfrmShutDown::Tick() {
    if (--secondsLeft_ > 0) {
        ShowSecondsLeft();
        return;
    }
    timer_.stop();
    accept();
    const bool started = ShutDownComputer();
    if (!started) {
        ShowMessage(parentWidget(), "Warning", "The computer could not be shut down.",
                    TMessageIcon::Warning);
    }
    emit poweringOff(started);
}

} // namespace tessaro
