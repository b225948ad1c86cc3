#include "core/DialogService.h"

#include <stdexcept>

namespace tessaro {

namespace {

IDialogService* current = nullptr;

TMessageResult ClosingAnswer(TMessageButtons buttons) {
    switch (buttons) {
    case TMessageButtons::Ok:
        return TMessageResult::Ok;
    case TMessageButtons::OkCancel:
    case TMessageButtons::YesNoCancel:
        return TMessageResult::Cancel;
    case TMessageButtons::YesNo:
        return TMessageResult::No;
    }
    return TMessageResult::Cancel;
}

} // namespace

IDialogService& Dialogs() {
    if (current == nullptr) {
        throw std::logic_error("no dialog service installed");
    }
    return *current;
}

bool HasDialogService() {
    return current != nullptr;
}

void SetDialogService(IDialogService* service) {
    current = service;
}

void ShowMessage(QWidget* parent, const std::string& caption, const std::string& text,
                 TMessageIcon icon) {
    Dialogs().ShowMessage(parent, TMessageRequest{caption, text, icon, TMessageButtons::Ok});
}

TMessageResult TScriptedDialogService::ShowMessage(QWidget*, const TMessageRequest& request) {
    requests_.push_back(request);
    if (answers_.empty()) {
        return ClosingAnswer(request.buttons);
    }
    const TMessageResult answer = answers_.front();
    answers_.pop_front();
    return answer;
}

TScopedDialogService::TScopedDialogService(IDialogService& service) : previous_(current) {
    current = &service;
}

TScopedDialogService::~TScopedDialogService() {
    current = previous_;
}

} // namespace tessaro
