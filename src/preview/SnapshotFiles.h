// What one snapshot writes and where: the snapshot folder, the four switches with the JPEG
// quality, and fresh file names that never replace an earlier snapshot. No pictures here;
// Snapshot.h saves them.
#pragma once

#include <string>
#include <vector>

namespace tessaro {

class TIniFile;

inline constexpr const char* SnapshotFolderKey = "SnapOutPutDir";
inline constexpr int DefaultJpegQuality = 30;

// "snapFullSize", "snapSmallSize", "snapBmp", "snapJpg": a switch is on only when its key is
// exactly 1 (a missing key reads as 1). "jpgCmp" (default 30) is kept within 1 to 100.
struct TSnapshotSwitches {
    bool FullSize = true;
    bool SmallSize = true;
    bool Bmp = true;
    bool Jpg = true;
    int JpegQuality = DefaultJpegQuality;
};
TSnapshotSwitches ReadSnapshotSwitches(const TIniFile& settings);

// The snapshot folder "settings"/"SnapOutPutDir", made when missing; a folder that cannot be
// made falls back to the default folder after a warning (see UsableStoredFolder).
std::string UsableSnapshotFolder(TIniFile& settings);

enum class TSnapshotSize { Full, Small };
enum class TSnapshotFormat { Bmp, Jpeg };

struct TSnapshotFile {
    TSnapshotSize Size = TSnapshotSize::Full;
    TSnapshotFormat Format = TSnapshotFormat::Bmp;
    std::string Path;
};

// The files of the next snapshot in folder, in the order full BMP, small BMP, full JPEG,
// small JPEG, each only when both of its switches are on. They are named "Snapshot_full.bmp",
// "Snapshot_small.bmp", "Snapshot_full.jpg", "Snapshot_small.jpg"; when any of those exists,
// all of them take the first number n that makes every name free ("Snapshot_full_(n).bmp",
// ...), so the pictures of one snapshot keep one number and no earlier file is replaced.
std::vector<TSnapshotFile> NextSnapshotFiles(const std::string& folder,
                                             const TSnapshotSwitches& switches);

} // namespace tessaro
