// Saving snapshots: a full-size and a small picture written as BMP and JPEG files into the
// snapshot folder, as the settings file's switches say. Used by the preview panel and the
// progress window.
#pragma once

#include "SnapshotFiles.h"
#include "base/Bitmap.h"

#include <QImage>
#include <stdexcept>
#include <string>
#include <vector>

namespace tessaro {

// A snapshot file that cannot be written: "Unable to write to <path>: <reason>".
class TSnapshotWriteError : public std::runtime_error {
public:
    TSnapshotWriteError(const std::string& path, const std::string& reason);
};

// The bitmap's pixels seen as an image, without a copy: valid while the bitmap lives and
// keeps its size.
QImage BitmapImage(const TBitmap& bitmap);

// A copy of frame stretched over width x height pixels; the picture's shape is not kept.
QImage StretchedImage(const TBitmap& frame, int width, int height);

struct TSavedSnapshot {
    std::string Folder;             // where the files went
    std::vector<std::string> Files; // the paths written, in writing order
};

// Saves one snapshot: the folder of UsableSnapshotFolder (after its fallback the files go to
// the default folder), the switches of ReadSnapshotSwitches and the names of
// NextSnapshotFiles. With no switch combination on, nothing is written. A file that cannot
// be written throws TSnapshotWriteError; the files written before it stay.
TSavedSnapshot SaveSnapshot(TIniFile& settings, const QImage& full, const QImage& small);

} // namespace tessaro
