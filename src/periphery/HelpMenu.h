// The Help menu: help page, web site, support page, about window and related software.
#pragma once

#include <QObject>
#include <QPointer>

#include "FrmAbout.h"

class QMenu;
class QWidget;

namespace tessaro {

class THelpMenu : public QObject {
    Q_OBJECT
public:
    // Adds the items to helpMenu; owner becomes the owner of the about window.
    THelpMenu(QMenu* helpMenu, QWidget* owner);

    void Help2Click();
    void WebSite1Click();
    void SupportandContact1Click();
    void AboutClick();
    // The about window, once it has been opened.
    TfrmAbout* AboutWindow() const { return about_; }

private:
    QWidget* owner_;
    QPointer<TfrmAbout> about_;
};

} // namespace tessaro
