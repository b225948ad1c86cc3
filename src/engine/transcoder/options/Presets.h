// Built-in option presets (libx264 settings for speed levels and devices) and their lookup.
#pragma once

#include <string>
#include <vector>

namespace tessaro {

struct TOptionsPreset {
    std::string Name;
    std::string Options; // key=value lines separated by LF
};

// The 40 built-in presets.
const std::vector<TOptionsPreset>& BuiltInPresets();
// The built-in preset called Name, compared without regard to letter case; null if none.
const TOptionsPreset* FindBuiltInPreset(const std::string& name);

} // namespace tessaro
