#include "Preferences.h"

#include "SnapshotFiles.h"
#include "core/AppPaths.h"
#include "core/IniFile.h"

#include <algorithm>

namespace tessaro {

namespace {

constexpr const char* Section = "settings";

void WriteSwitch(TIniFile& settings, const char* key, bool on) {
    settings.WriteInteger(Section, key, on ? 1 : 0);
}

} // namespace

TPreferences ReadPreferences(const TIniFile& settings) {
    const TSnapshotSwitches switches = ReadSnapshotSwitches(settings);
    TPreferences preferences;
    preferences.SnapFolder = settings.ReadString(Section, SnapshotFolderKey, DefaultOutputDir());
    preferences.FullSize = switches.FullSize;
    preferences.SmallSize = switches.SmallSize;
    preferences.Bmp = switches.Bmp;
    preferences.Jpg = switches.Jpg;
    preferences.JpegQuality = switches.JpegQuality;
    const int priority = settings.ReadInteger(Section, "priority", wpNormal);
    preferences.Priority = priority >= wpIdle && priority <= wpLowest ? priority : wpNormal;
    return preferences;
}

TPreferences DefaultPreferences() {
    TPreferences preferences;
    preferences.SnapFolder = DefaultOutputDir();
    preferences.FullSize = true;
    preferences.SmallSize = false;
    preferences.Bmp = true;
    preferences.Jpg = false;
    preferences.JpegQuality = 20;
    preferences.Priority = wpNormal;
    return preferences;
}

void WritePreferences(TIniFile& settings, const TPreferences& preferences) {
    settings.WriteString(Section, SnapshotFolderKey,
                         preferences.SnapFolder.empty() ? DefaultOutputDir()
                                                        : preferences.SnapFolder);
    WriteSwitch(settings, "snapFullSize", preferences.FullSize);
    WriteSwitch(settings, "snapSmallSize", preferences.SmallSize);
    WriteSwitch(settings, "snapBmp", preferences.Bmp);
    WriteSwitch(settings, "snapJpg", preferences.Jpg);
    if (preferences.JpegQuality > 0) {
        settings.WriteInteger(Section, "jpgCmp", preferences.JpegQuality);
    }
    settings.WriteInteger(Section, "priority", preferences.Priority);
}

} // namespace tessaro
