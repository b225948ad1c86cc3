// The application object of the windowing layer with the program-wide exception
// handler: an exception that escapes any event handler is shown in a message box
// and the program keeps running.
#pragma once

#include <QApplication>
#include <exception>

namespace tessaro {

class TApplication : public QApplication {
    Q_OBJECT
public:
    TApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;

    // Until the handler is installed (by the main window) escaped exceptions end the
    // program as they would without it. Installing also makes ShowException the
    // reporter of Guarded() slots.
    void InstallExceptionHandler();
    bool ExceptionHandlerInstalled() const { return handlerInstalled_; }

    // Shows the exception with the application title as caption: a warning for engine
    // errors, an error otherwise.
    static void ShowException(std::exception_ptr error);

private:
    bool handlerInstalled_ = false;
};

// The running TApplication, or nullptr when the application object is a plain one.
TApplication* Application();

} // namespace tessaro
