// The seven built-in colour themes, in the order of their index under
// "settings"/"skinIndex": Default, Gray, Orange, Purple, Red, Green, Light blue.
#pragma once

#include <array>
#include <string>

namespace tessaro {

struct TThemeColors {
    const char* name;   // menu caption
    const char* stripe; // menu bar, headers and group titles
    const char* face;   // window background
    const char* button; // button face
    const char* text;   // text on stripe-coloured areas
    unsigned rowStripe; // 0xRRGGBB background of every second row of the source list
};

inline constexpr int ThemeCount = 7;
inline constexpr int DesignTimeTheme = -1; // no built-in theme applied

const std::array<TThemeColors, ThemeCount>& BuiltInThemes();

bool IsThemeIndex(int index);

// The row stripe of theme index; the design-time look uses the Default theme's.
unsigned RowStripeColor(int index);

// The Qt style sheet of theme index (0..6).
std::string ThemeStyleSheet(int index);

} // namespace tessaro
