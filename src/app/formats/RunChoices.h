// What the settings file says about every conversion run: the format converted to, its file
// extension and zoom mode, and the priority of the converter's workers.
#pragma once

#include <string>

namespace tessaro {

class TConverter;
class TIniFile;

// The format the windows convert to: "settings"/"FormatCode" (default 1).
int StoredFormatCode(const TIniFile& settings);

// What a run reads about its format: "." + "FileExt" (default "mp4") of the format file
// and the zoom mode "parazoom" (default "lbox") of the settings file.
struct TRunFormat {
    std::string ExtensionText;
    std::string ZoomMode;
};
TRunFormat ReadRunFormat(const TIniFile& settings, const TIniFile& formats, int formatCode);

// "settings"/"priority" onto the converter's worker priority: 0 idle, 1 normal, 2 lower,
// 3 lowest; other values leave the priority as it is.
void ApplyRunPriority(TConverter& converter, const TIniFile& settings);

} // namespace tessaro
