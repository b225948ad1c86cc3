// The engine's exception class: lower layers throw it with the user-facing text;
// components catch it, return false/-1 and keep the text in LastError.
#pragma once

#include <cstdarg>
#include <stdexcept>
#include <string>

namespace tessaro {

class EngineException : public std::runtime_error {
public:
    explicit EngineException(const std::string& message) : std::runtime_error(message) {}
};

// printf-style formatting into a std::string.
std::string FormatText(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string FormatTextV(const char* format, va_list args);

} // namespace tessaro
