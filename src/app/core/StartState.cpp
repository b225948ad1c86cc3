#include "core/StartState.h"

#include "core/AppPaths.h"
#include "core/IniFile.h"

namespace tessaro {

int VolumeFromSetting(int stored) {
    return stored < 0 || stored > MaxPlayerVolume ? MaxPlayerVolume / 2 : stored;
}

std::optional<bool> MuteFromSetting(int stored) {
    if (stored == 1) {
        return true;
    }
    if (stored == 0) {
        return false;
    }
    return std::nullopt;
}

TMainWindowStartState ReadMainWindowStartState(const TIniFile& settings) {
    TMainWindowStartState state;
    state.outputDir = settings.ReadString("settings", "OutPutDir", DefaultOutputDir());
    state.formatCode = settings.ReadString("settings", "FormatCode", "1");
    state.volume = VolumeFromSetting(settings.ReadInteger("settings", "volume", 0));
    state.mute = MuteFromSetting(settings.ReadInteger("settings", "mute", 0));
    return state;
}

} // namespace tessaro
