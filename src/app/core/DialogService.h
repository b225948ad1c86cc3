// Message boxes go through this service so that windows stay testable: the program
// installs the QMessageBox implementation, tests install TScriptedDialogService and
// answer the questions themselves.
#pragma once

#include <deque>
#include <string>
#include <vector>

class QWidget;

namespace tessaro {

enum class TMessageIcon { None, Information, Warning, Error, Question };
enum class TMessageButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class TMessageResult { Ok, Cancel, Yes, No };

struct TMessageRequest {
    std::string caption;
    std::string text;
    TMessageIcon icon = TMessageIcon::None;
    TMessageButtons buttons = TMessageButtons::Ok;
};

class IDialogService {
public:
    virtual ~IDialogService() = default;
    // Shows a modal message box over parent (may be null) and returns the button pressed.
    virtual TMessageResult ShowMessage(QWidget* parent, const TMessageRequest& request) = 0;
};

// The service used by every window; set once by the program (or by a test). Asking
// for it before one is installed throws std::logic_error.
IDialogService& Dialogs();
bool HasDialogService();
void SetDialogService(IDialogService* service);

// Shorthand for the common box: one OK button.
void ShowMessage(QWidget* parent, const std::string& caption, const std::string& text,
                 TMessageIcon icon = TMessageIcon::None);

// Answers from a queue and remembers every request. With the queue empty it answers
// the closing button of the box (No for Yes/No boxes, Cancel when there is one, else OK).
class TScriptedDialogService : public IDialogService {
public:
    void QueueAnswer(TMessageResult answer) { answers_.push_back(answer); }
    TMessageResult ShowMessage(QWidget* parent, const TMessageRequest& request) override;

    const std::vector<TMessageRequest>& Requests() const { return requests_; }
    void Clear() {
        requests_.clear();
        answers_.clear();
    }

private:
    std::deque<TMessageResult> answers_;
    std::vector<TMessageRequest> requests_;
};

// Installs a service for the lifetime of the scope and restores the previous one.
class TScopedDialogService {
public:
    explicit TScopedDialogService(IDialogService& service);
    ~TScopedDialogService();
    TScopedDialogService(const TScopedDialogService&) = delete;
    TScopedDialogService& operator=(const TScopedDialogService&) = delete;

private:
    IDialogService* previous_;
};

} // namespace tessaro
