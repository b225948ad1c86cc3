// Conversions of option values: the decimal number syntax every numeric option uses and
// its error texts, trimming and letter case.
#pragma once

#include <cstdint>
#include <string>

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

} // namespace tessaro
