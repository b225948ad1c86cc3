// What the application-wide exception handler shows for an escaped exception.
#pragma once

#include "DialogService.h"

#include <exception>
#include <string>

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

} // namespace tessaro
