// The snapshot and work-priority preferences without widgets: what the preferences dialog
// reads from the settings file, what Default puts in, what Ok writes, and the rule that keeps
// one snapshot size and one snapshot format chosen.
#pragma once

#include <string>

namespace tessaro {

class TIniFile;

// The order of the work priority items; the settings file stores the index, which
// ApplyRunPriority turns into the converter's priority for every run.
enum TWorkPriority : int { wpIdle = 0, wpNormal = 1, wpLower = 2, wpLowest = 3 };

struct TPreferences {
    std::string SnapFolder;
    bool FullSize = true;
    bool SmallSize = true;
    bool Bmp = true;
    bool Jpg = true;
    int JpegQuality = 30; // 1 to 100
    int Priority = wpNormal;

    friend bool operator==(const TPreferences&, const TPreferences&) = default;
};

// The stored preferences: "SnapOutPutDir" (default: the default folder), the four switches
// (ticked exactly when their key is 1; a missing key is 1), "jpgCmp" (default 30, kept within
// 1 to 100) and "priority" (default 1; a value outside 0 to 3 reads as normal).
TPreferences ReadPreferences(const TIniFile& settings);

// What Default puts into the dialog: the default folder, full size and BMP only, quality 20,
// normal priority. (The readers' defaults for missing keys differ: all four on, quality 30.)
TPreferences DefaultPreferences();

// What Ok stores: the folder (the default folder when it is empty), the four switches as 1 or
// 0, the quality (only when above 0) and the priority index.
void WritePreferences(TIniFile& settings, const TPreferences& preferences);

// A size or format box after the user clicked it: it stays ticked when its partner is not.
inline bool KeepOneTicked(bool ticked, bool partnerTicked) {
    return ticked || !partnerTicked;
}

} // namespace tessaro
