// What the application-wide exception handler shows for an escaped exception.
#pragma once

#include "core/DialogService.h"

#include <exception>
#include <string>
#include <utility>

namespace tessaro {

// Appends "." when the message is not empty and its last byte sorts after "."
// (letters, digits, "?", ...); "!", ")" and "." itself end a message unchanged.
std::string WithFullStop(std::string message);

struct TErrorReport {
    std::string text;
    TMessageIcon icon = TMessageIcon::Error;
};

// Engine errors are warnings, everything else is an error.
TErrorReport DescribeException(std::exception_ptr error);

// The program-wide handler for exceptions caught at the edge of a handler; until one is
// installed, ReportException ends the program as an uncaught exception would.
using TExceptionReporter = void (*)(std::exception_ptr);
void SetExceptionReporter(TExceptionReporter reporter);
void ReportException(std::exception_ptr error);

// A slot that reports its own exceptions through ReportException. Qt's signal code is
// not written to be unwound by exceptions (it leaks and may leave state behind), so
// handlers connected to signals are wrapped: connect(button, &QPushButton::clicked,
// Guarded([this] { ... })). The application's notify() remains the backstop for
// exceptions from overridden event handlers.
template <typename Slot> class TGuardedSlot {
public:
    explicit TGuardedSlot(Slot slot) : slot_(std::move(slot)) {}

    template <typename... Args>
    auto operator()(Args&&... args)
        -> decltype(std::declval<Slot&>()(std::forward<Args>(args)...), void()) {
        try {
            slot_(std::forward<Args>(args)...);
        } catch (...) {
            ReportException(std::current_exception());
        }
    }

private:
    Slot slot_;
};

template <typename Slot> TGuardedSlot<Slot> Guarded(Slot slot) {
    return TGuardedSlot<Slot>(std::move(slot));
}

} // namespace tessaro
