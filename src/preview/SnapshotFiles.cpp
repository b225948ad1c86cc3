#include "SnapshotFiles.h"

#include "core/IniFile.h"
#include "core/StoredFolder.h"

#include <algorithm>

namespace tessaro {

namespace {

bool SwitchOn(const TIniFile& settings, const char* key) {
    return settings.ReadInteger("settings", key, 1) == 1;
}

std::string SnapshotName(TSnapshotSize size, TSnapshotFormat format, int number) {
    std::string name = size == TSnapshotSize::Full ? "Snapshot_full" : "Snapshot_small";
    if (number > 0) {
        name += "_(" + std::to_string(number) + ")";
    }
    return name + (format == TSnapshotFormat::Bmp ? ".bmp" : ".jpg");
}

} // namespace

TSnapshotSwitches ReadSnapshotSwitches(const TIniFile& settings) {
    TSnapshotSwitches switches;
    switches.FullSize = SwitchOn(settings, "snapFullSize");
    switches.SmallSize = SwitchOn(settings, "snapSmallSize");
    switches.Bmp = SwitchOn(settings, "snapBmp");
    switches.Jpg = SwitchOn(settings, "snapJpg");
    switches.JpegQuality =
        std::clamp(settings.ReadInteger("settings", "jpgCmp", DefaultJpegQuality), 1, 100);
    return switches;
}

std::string UsableSnapshotFolder(TIniFile& settings) {
    return UsableStoredFolder(settings, SnapshotFolderKey);
}

std::vector<TSnapshotFile> NextSnapshotFiles(const std::string& folder,
                                             const TSnapshotSwitches& switches) {
    std::vector<TSnapshotFile> files;
    for (TSnapshotFormat format : {TSnapshotFormat::Bmp, TSnapshotFormat::Jpeg}) {
        for (TSnapshotSize size : {TSnapshotSize::Full, TSnapshotSize::Small}) {
            const bool sizeOn =
                size == TSnapshotSize::Full ? switches.FullSize : switches.SmallSize;
            const bool formatOn = format == TSnapshotFormat::Bmp ? switches.Bmp : switches.Jpg;
            if (sizeOn && formatOn) {
                files.push_back({size, format, {}});
            }
        }
    }
    const std::string prefix = folder.empty() || folder.back() == '/' ? folder : folder + "/";
    for (int number = 0;; ++number) {
        for (TSnapshotFile& file : files) {
            file.Path = prefix + SnapshotName(file.Size, file.Format, number);
        }
        if (std::none_of(files.begin(), files.end(),
                         [](const TSnapshotFile& file) { return PathTaken(file.Path); })) {
            return files;
        }
    }
}

} // namespace tessaro
