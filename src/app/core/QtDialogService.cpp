#include "core/QtDialogService.h"

#include <QMessageBox>

namespace tessaro {

namespace {

QMessageBox::Icon BoxIcon(TMessageIcon icon) {
    switch (icon) {
    case TMessageIcon::None:
        return QMessageBox::NoIcon;
    case TMessageIcon::Information:
        return QMessageBox::Information;
    case TMessageIcon::Warning:
        return QMessageBox::Warning;
    case TMessageIcon::Error:
        return QMessageBox::Critical;
    case TMessageIcon::Question:
        return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons BoxButtons(TMessageButtons buttons) {
    switch (buttons) {
    case TMessageButtons::Ok:
        return QMessageBox::Ok;
    case TMessageButtons::OkCancel:
        return QMessageBox::Ok | QMessageBox::Cancel;
    case TMessageButtons::YesNo:
        return QMessageBox::Yes | QMessageBox::No;
    case TMessageButtons::YesNoCancel:
        return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    }
    return QMessageBox::Ok;
}

TMessageResult ResultOf(int button) {
    switch (button) {
    case QMessageBox::Ok:
        return TMessageResult::Ok;
    case QMessageBox::Yes:
        return TMessageResult::Yes;
    case QMessageBox::No:
        return TMessageResult::No;
    default:
        return TMessageResult::Cancel;
    }
}

} // namespace

TMessageResult TQtDialogService::ShowMessage(QWidget* parent, const TMessageRequest& request) {
    QMessageBox box(BoxIcon(request.icon), QString::fromStdString(request.caption),
                    QString::fromStdString(request.text), BoxButtons(request.buttons), parent);
    return ResultOf(box.exec());
}

} // namespace tessaro
