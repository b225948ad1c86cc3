// The settings the main window restores when it is first shown.
#pragma once

#include <optional>
#include <string>

namespace tessaro {

class TIniFile;

inline constexpr int MaxPlayerVolume = 128;

struct TMainWindowStartState {
    std::string outputDir;    // "settings"/"OutPutDir"
    std::string formatCode;   // "settings"/"FormatCode", decimal text
    int volume = 0;           // volume bar position, 0..128
    std::optional<bool> mute; // empty: leave the box as it is
};

// A stored volume outside 0..128 starts the bar in the middle (64).
int VolumeFromSetting(int stored);
// 1 ticks the mute box, 0 clears it, any other value leaves it alone.
std::optional<bool> MuteFromSetting(int stored);

TMainWindowStartState ReadMainWindowStartState(const TIniFile& settings);

} // namespace tessaro
