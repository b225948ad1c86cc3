// Text helpers shared by the option parsers, the INI code and the reports: trimming, letter
// case, line breaks, the decimal number syntax every numeric value uses (with its error texts),
// file-size texts and splitting at a separator.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tessaro {

std::string TrimText(const std::string& text);
std::string LowerText(const std::string& text);
// The text with every CR LF and lone CR turned into LF.
std::string UnifyLineBreaks(const std::string& text);
bool SameTextNoCase(const std::string& a, const std::string& b);

// Decimal integers with optional sign and surrounding blanks; anything else throws
// EngineException "'%s' is not a valid integer value".
int TextToInt(const std::string& text);
std::int64_t TextToInt64(const std::string& text);
// Decimal numbers with optional fraction and exponent; else
// "'%s' is not a valid floating point value".
double TextToFloat(const std::string& text);
// Flag options are on unless the value is exactly "0" (an empty value turns them on).
inline bool FlagValue(const std::string& value) {
    return value != "0";
}

// "%.2f GB", "%.2f MB", "%.2f KB" above 2^30, 2^20 and 1024 bytes; "%d Byte" otherwise
// (negative sizes included).
std::string FormatFileSize(std::int64_t size);

// Returns the part of text before the first separator (all of text when there is none).
// With remove, text becomes the part after that separator (empty when there was none).
std::string SplitFirst(std::string& text, std::string_view separator, bool remove);

} // namespace tessaro
