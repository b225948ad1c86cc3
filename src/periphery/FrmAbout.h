// The about window: product name, web site link and copyright lines.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace tessaro {

class TfrmAbout : public QDialog {
    Q_OBJECT
public:
    explicit TfrmAbout(QWidget* owner);

    static constexpr int Width = 400;
    static constexpr int Height = 190;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void lblWebSiteClick();

    QLabel* lblAppNameVer_;
    QLabel* lblWebSite_;
    QLabel* lblCopyright_;
    QLabel* lblRights_;
    QPushButton* btnOk_;
};

} // namespace tessaro
