// The number syntax accepted in parameter values of the settings file. (Trimming and
// letter case come from the engine's text helpers, base/TextHelpers.h.)
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tessaro {

// An integer: leading blanks, an optional sign, decimal digits and nothing after
// them, within the signed 32-bit range.
bool TryParseInteger(std::string_view text, std::int32_t& value);
// A decimal number: like an integer, with an optional decimal point and exponent.
// Independent of the process locale.
bool TryParseDecimal(std::string_view text, double& value);

// The parts of text between every separator, untrimmed: "a,,b," gives "a", "", "b", "".
std::vector<std::string> SplitAtEvery(std::string_view text, char separator);

} // namespace tessaro
