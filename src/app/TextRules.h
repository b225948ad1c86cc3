// Small text rules shared by the settings-driven logic: trimming, letter-case-blind
// comparison and the number syntax accepted in parameter values.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tessaro {

// Removes leading and trailing blanks and control characters.
std::string TrimBlanks(std::string_view text);

std::string ToLowerAscii(std::string_view text);
bool SameTextNoCase(std::string_view a, std::string_view b);

// An integer: leading blanks, an optional sign, decimal digits and nothing after
// them, within the signed 32-bit range.
bool TryParseInteger(std::string_view text, std::int32_t& value);
// A decimal number: like an integer, with an optional decimal point and exponent.
// Independent of the process locale.
bool TryParseDecimal(std::string_view text, double& value);

} // namespace tessaro
