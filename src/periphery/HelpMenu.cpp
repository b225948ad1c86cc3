#include "HelpMenu.h"

#include "FrmAbout.h"
#include "WebLinks.h"
#include "core/FormWidgets.h"
#include "core/GlobalObject.h"
#include "core/ShellOpen.h"

#include <QAction>
#include <QMenu>

namespace tessaro {

namespace {

void OpenLink(const std::string& address) {
    if (!address.empty()) {
        OpenWithDefaultHandler(address);
    }
}

} // namespace

THelpMenu::THelpMenu(QMenu* helpMenu, QWidget* owner) : QObject(helpMenu), owner_(owner) {
    connect(MakeItem(helpMenu, "Help2", "&Help"), &QAction::triggered, this,
            &THelpMenu::Help2Click);
    connect(MakeItem(helpMenu, "WebSite1", "&Web Site"), &QAction::triggered, this,
            &THelpMenu::WebSite1Click);
    connect(MakeItem(helpMenu, "SupportandContact1", "&Support and Contact"), &QAction::triggered,
            this, &THelpMenu::SupportandContact1Click);
    helpMenu->addSeparator();
    QMenu* related =
        Named(helpMenu->addMenu(QStringLiteral("Related Software")), "RelatedSoftware1");
    for (const TRelatedProduct& product : RelatedSoftware()) {
        QAction* item = related->addAction(QString::fromStdString(product.name));
        const std::string url = product.url;
        connect(item, &QAction::triggered, this, [url] { OpenLink(url); });
    }
    helpMenu->addSeparator();
    connect(MakeItem(helpMenu, "About", "&About"), &QAction::triggered, this,
            &THelpMenu::AboutClick);
}

void THelpMenu::Help2Click() {
    if (const TGlobalObject* global = TGlobalObject::Instance()) {
        OpenLink(global->HelpUrl());
    }
}

void THelpMenu::WebSite1Click() {
    if (const TGlobalObject* global = TGlobalObject::Instance()) {
        OpenLink(global->HomeUrl());
    }
}

void THelpMenu::SupportandContact1Click() {
    OpenLink(TessaroSupportUrl);
}

void THelpMenu::AboutClick() {
    if (about_ == nullptr) {
        about_ = new TfrmAbout(owner_);
    }
    about_->exec();
}

} // namespace tessaro
