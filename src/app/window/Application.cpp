#include "window/Application.h"

#include "core/DialogService.h"
#include "core/ErrorReport.h"

namespace tessaro {

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

void TApplication::InstallExceptionHandler() {
    handlerInstalled_ = true;
    SetExceptionReporter(&TApplication::ShowException);
}

TApplication* Application() {
    return qobject_cast<TApplication*>(QCoreApplication::instance());
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    if (!handlerInstalled_) {
        return QApplication::notify(receiver, event);
    }
    // Hardware faults (SIGSEGV and the like) are signals on Linux, not exceptions:
    // they cannot be caught here and end the program.
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ShowException(std::current_exception());
        return false;
    }
}

void TApplication::ShowException(std::exception_ptr error) {
    const TErrorReport report = DescribeException(error);
    Dialogs().ShowMessage(nullptr, TMessageRequest{applicationDisplayName().toStdString(),
                                                   report.text, report.icon, TMessageButtons::Ok});
}

} // namespace tessaro
