#include "formats/TextRules.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace tessaro {

namespace {

// A space or a control character: the blanks the number rules skip before a number.
bool IsSpaceOrControl(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}

// Skips leading blanks and a sign; returns the rest and whether the sign was minus.
std::string_view StripLeadingBlanksAndSign(std::string_view text, bool& negative) {
    while (!text.empty() && IsSpaceOrControl(text.front())) {
        text.remove_prefix(1);
    }
    negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    return text;
}

bool AllDigits(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Digits with at most one decimal point and at least one digit, then an optional
// exponent "e"/"E", optional sign, digits.
bool IsDecimalSyntax(std::string_view text) {
    std::size_t i = 0;
    bool digits = false;
    bool point = false;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            digits = true;
        } else if (c == '.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (!digits) {
        return false;
    }
    if (i == text.size()) {
        return true;
    }
    if (text[i] != 'e' && text[i] != 'E') {
        return false;
    }
    std::string_view exponent = text.substr(i + 1);
    if (!exponent.empty() && (exponent.front() == '+' || exponent.front() == '-')) {
        exponent.remove_prefix(1);
    }
    return AllDigits(exponent);
}

} // namespace

bool TryParseInteger(std::string_view text, std::int32_t& value) {
    bool negative = false;
    const std::string_view digits = StripLeadingBlanksAndSign(text, negative);
    if (!AllDigits(digits)) {
        return false;
    }
    std::int64_t magnitude = 0;
    for (const char c : digits) {
        magnitude = magnitude * 10 + (c - '0');
        if (magnitude > 2147483648LL) {
            return false;
        }
    }
    const std::int64_t signedValue = negative ? -magnitude : magnitude;
    if (signedValue > INT32_MAX) {
        return false;
    }
    value = static_cast<std::int32_t>(signedValue);
    return true;
}

bool TryParseDecimal(std::string_view text, double& value) {
    bool negative = false;
    const std::string_view number = StripLeadingBlanksAndSign(text, negative);
    if (!IsDecimalSyntax(number)) {
        return false;
    }
    double parsed = 0.0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), parsed,
                                              std::chars_format::general);
    if (error != std::errc() || end != number.data() + number.size() || !std::isfinite(parsed)) {
        return false;
    }
    value = negative ? -parsed : parsed;
    return true;
}

std::vector<std::string> SplitAtEvery(std::string_view text, char separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t end = text.find(separator); end != std::string_view::npos;
         end = text.find(separator, start)) {
        parts.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
    parts.emplace_back(text.substr(start));
    return parts;
}

} // namespace tessaro
