#include "formats/RunChoices.h"

#include "converter/Converter.h"
#include "core/IniFile.h"
#include "formats/FormatCatalogue.h"

#include <iterator>

namespace tessaro {

int StoredFormatCode(const TIniFile& settings) {
    return settings.ReadInteger(kSettingsSection, "FormatCode", 1);
}

TRunFormat ReadRunFormat(const TIniFile& settings, const TIniFile& formats, int formatCode) {
    const std::string section = FormatSectionName(formatCode);
    TRunFormat format;
    format.ExtensionText = "." + formats.ReadString(section, "FileExt", "mp4");
    format.ZoomMode = settings.ReadString(section, "parazoom", "lbox");
    return format;
}

void ApplyRunPriority(TConverter& converter, const TIniFile& settings) {
    // Indexed by the stored value.
    constexpr TThreadPriority priorities[] = {tpIdle, tpNormal, tpLower, tpLowest};
    const int stored = settings.ReadInteger(kSettingsSection, "priority", 1);
    if (stored >= 0 && stored < int(std::size(priorities))) {
        converter.SetThreadPriority(priorities[stored]);
    }
}

} // namespace tessaro
