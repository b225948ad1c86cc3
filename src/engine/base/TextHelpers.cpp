#include "base/TextHelpers.h"

#include "base/EngineException.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <limits>

namespace tessaro {

namespace {

bool IsWhiteSpace(char c) {
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

// True when the whole of Text (blanks around it aside) is a decimal integer.
bool ParseInteger(const std::string& text, long long& value) {
    const std::string trimmed = TrimText(text);
    if (trimmed.empty() || trimmed.find_first_of("xX") != std::string::npos) {
        return false;
    }
    errno = 0;
    char* end = nullptr;
    value = std::strtoll(trimmed.c_str(), &end, 10);
    return errno == 0 && end != nullptr && *end == '\0';
}

} // namespace

std::string UnifyLineBreaks(const std::string& text) {
    std::string unified;
    unified.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            unified += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n') {
                ++i;
            }
        } else {
            unified += text[i];
        }
    }
    return unified;
}

std::string TrimText(const std::string& text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && IsWhiteSpace(text[begin])) {
        ++begin;
    }
    while (end > begin && IsWhiteSpace(text[end - 1])) {
        --end;
    }
    return text.substr(begin, end - begin);
}

std::string LowerText(const std::string& text) {
    std::string result = text;
    std::transform(result.begin(), result.end(), result.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return result;
}

bool SameTextNoCase(const std::string& a, const std::string& b) {
    return LowerText(a) == LowerText(b);
}

int TextToInt(const std::string& text) {
    long long value = 0;
    if (!ParseInteger(text, value) || value < std::numeric_limits<int>::min() ||
        value > std::numeric_limits<int>::max()) {
        throw EngineException(FormatText("'%s' is not a valid integer value", text.c_str()));
    }
    return static_cast<int>(value);
}

std::int64_t TextToInt64(const std::string& text) {
    long long value = 0;
    if (!ParseInteger(text, value)) {
        throw EngineException(FormatText("'%s' is not a valid integer value", text.c_str()));
    }
    return value;
}

double TextToFloat(const std::string& text) {
    const std::string trimmed = TrimText(text);
    char* end = nullptr;
    const double value = trimmed.empty() || trimmed.find_first_of("xXnN") != std::string::npos
                             ? 0
                             : std::strtod(trimmed.c_str(), &end);
    if (end == nullptr || *end != '\0') {
        throw EngineException(FormatText("'%s' is not a valid floating point value", text.c_str()));
    }
    return value;
}

std::string FormatFileSize(std::int64_t size) {
    constexpr std::int64_t KB = 1024;
    constexpr std::int64_t MB = KB * 1024;
    constexpr std::int64_t GB = MB * 1024;
    if (size > GB) {
        return FormatText("%.2f GB", double(size) / double(GB));
    }
    if (size > MB) {
        return FormatText("%.2f MB", double(size) / double(MB));
    }
    if (size > KB) {
        return FormatText("%.2f KB", double(size) / double(KB));
    }
    return FormatText("%lld Byte", static_cast<long long>(size));
}

std::string SplitFirst(std::string& text, std::string_view separator, bool remove) {
    const std::size_t position = separator.empty() ? std::string::npos : text.find(separator);
    if (position == std::string::npos) {
        std::string head = text;
        if (remove) {
            text.clear();
        }
        return head;
    }
    std::string head = text.substr(0, position);
    if (remove) {
        text.erase(0, position + separator.size());
    }
    return head;
}

} // namespace tessaro
