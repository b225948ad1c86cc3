// The built-in colour themes, in the order of their index under "settings"/"skinIndex":
// Default, Gray, Orange, Purple, Red, Green, Light blue, System. System came last so
// that stored indexes keep naming the same theme; it shows the Default colours while the
// desktop prefers light and a dark set while it prefers dark.
#pragma once

#include "ColorScheme.h"

#include <string>

namespace tessaro {

struct TThemeColors {
    const char* stripe;             // menu bar, headers and group titles
    const char* face;               // window background
    const char* button;             // button face
    const char* text;               // text on stripe-coloured areas
    unsigned rowStripe;             // 0xRRGGBB background of every second source list row
    const char* faceText = "black"; // text on the window face
};

inline constexpr int ThemeCount = 8;
inline constexpr int SystemTheme = 7;
inline constexpr int DesignTimeTheme = -1; // no built-in theme applied

bool IsThemeIndex(int index);

// The menu caption of theme index.
const char* ThemeName(int index);

// The colours theme index shows under scheme; only System depends on the scheme.
const TThemeColors& ThemeColors(int index, TColorScheme scheme);

// The row stripe of theme index; the design-time look uses the Default theme's. The
// source list keeps its light rows under every scheme.
unsigned RowStripeColor(int index);

// The Qt style sheet of theme index (0..7) under scheme.
std::string ThemeStyleSheet(int index, TColorScheme scheme = TColorScheme::Light);

} // namespace tessaro
