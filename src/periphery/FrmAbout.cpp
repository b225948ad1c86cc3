#include "FrmAbout.h"

#include "core/FormWidgets.h"
#include "core/GlobalObject.h"
#include "core/ShellOpen.h"

#include <QLabel>
#include <QPushButton>

namespace tessaro {

namespace {

QString HomeUrl() {
    const TGlobalObject* global = TGlobalObject::Instance();
    return global != nullptr ? QString::fromStdString(global->HomeUrl()) : QString();
}

QString ProductName() {
    const TGlobalObject* global = TGlobalObject::Instance();
    return global != nullptr ? QString::fromStdString(global->ProductName()) : QString();
}

} // namespace

TfrmAbout::TfrmAbout(QWidget* owner) : QDialog(owner) {
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About"));

    lblAppNameVer_ = Named(MakeLabel(this, "", QRect(24, 20, 300, 24)), "lblAppNameVer");
    QFont bold = lblAppNameVer_->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.3);
    lblAppNameVer_->setFont(bold);

    lblWebSite_ = Named(MakeLabel(this, "", QRect(24, 56, 350, 20)), "lblWebSite");
    lblWebSite_->setCursor(Qt::PointingHandCursor);
    lblWebSite_->setTextFormat(Qt::RichText);
    lblWebSite_->setTextInteractionFlags(Qt::LinksAccessibleByMouse);
    connect(lblWebSite_, &QLabel::linkActivated, this, [this] { lblWebSiteClick(); });

    lblCopyright_ = Named(MakeLabel(this, "\u00a9 2026 The Tessaro Team", QRect(24, 88, 160, 20)),
                          "lblCopyright");
    lblRights_ =
        Named(MakeLabel(this, "All Rights Reserved", QRect(24, 110, 160, 20)), "lblRights");

    btnOk_ = MakeButton(this, "btnOk", "&Ok", QRect(Width - 100, Height - 44, 80, 28));
    btnOk_->setDefault(true);
    connect(btnOk_, &QPushButton::clicked, this, &QDialog::accept);
}

void TfrmAbout::showEvent(QShowEvent* event) {
    setFixedSize(Width, Height);
    lblAppNameVer_->setText(ProductName());
    const QString url = HomeUrl();
    lblWebSite_->setText(QStringLiteral("<a href=\"%1\">%1</a>").arg(url.toHtmlEscaped()));
    QDialog::showEvent(event);
}

void TfrmAbout::lblWebSiteClick() {
    OpenWithDefaultHandler(HomeUrl().toStdString());
}

} // namespace tessaro
