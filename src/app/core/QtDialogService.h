// The dialog service shown to the user: QMessageBox with the given caption, text,
// icon and buttons.
#pragma once

#include "core/DialogService.h"

namespace tessaro {

class TQtDialogService : public IDialogService {
public:
    TMessageResult ShowMessage(QWidget* parent, const TMessageRequest& request) override;
};

} // namespace tessaro
