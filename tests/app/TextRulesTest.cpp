// Number syntax of parameter values.
#include "formats/TextRules.h"

#include <gtest/gtest.h>

namespace tessaro {
namespace {

TEST(TextRules, Integers) {
    const struct {
        const char* Text;
        bool Valid;
        std::int32_t Value;
    } cases[] = {
        {"512", true, 512},
        {"  -5", true, -5},
        {"+7", true, 7},
        {"2147483647", true, INT32_MAX},
        {"-2147483648", true, INT32_MIN},
        {"2147483648", false, 0},
        {"12 ", false, 0},
        {"1.5", false, 0},
        {"0x10", false, 0},
        {"", false, 0},
        {"-", false, 0},
        {"as source", false, 0},
    };
    for (const auto& c : cases) {
        std::int32_t value = 0;
        EXPECT_EQ(TryParseInteger(c.Text, value), c.Valid) << c.Text;
        if (c.Valid) {
            EXPECT_EQ(value, c.Value) << c.Text;
        }
    }
}

TEST(TextRules, DecimalNumbers) {
    const struct {
        const char* Text;
        bool Valid;
        double Value;
    } cases[] = {
        {"29.97", true, 29.97}, {" 96.5", true, 96.5}, {"-5", true, -5.0}, {"1e3", true, 1000.0},
        {".5", true, 0.5},      {"5.", true, 5.0},     {"1,5", false, 0},  {"inf", false, 0},
        {"nan", false, 0},      {"0x1p3", false, 0},   {"1e", false, 0},   {"96.5 ", false, 0},
        {".", false, 0},
    };
    for (const auto& c : cases) {
        double value = 0;
        EXPECT_EQ(TryParseDecimal(c.Text, value), c.Valid) << c.Text;
        if (c.Valid) {
            EXPECT_DOUBLE_EQ(value, c.Value) << c.Text;
        }
    }
}

} // namespace
} // namespace tessaro
