// The desktop's light or dark colour scheme, as the "System" theme follows it.
#pragma once

#include <cstdint>

namespace tessaro {

enum class TColorScheme { Light, Dark };

// The desktop portal's "color-scheme" value (namespace org.freedesktop.appearance):
// 1 prefers dark; 0 (no preference), 2 (prefers light) and anything else read as light.
constexpr TColorScheme ColorSchemeFromPortalValue(std::uint32_t value) {
    return value == 1 ? TColorScheme::Dark : TColorScheme::Light;
}

} // namespace tessaro
