// Adding media files to the source list: which chosen paths become rows, and their length.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tessaro {

class TIniFile;
class TSourceListModel;
struct TDestinationRule;

// What the next run reads to name its outputs: "settings"/"OutPutDir" and "." + the current
// format's file extension.
TDestinationRule ReadDestinationRule(TIniFile& settings, const TIniFile& formats);

// The length of a media file in microseconds (-1 when the file does not say), or nothing
// when the engine cannot open it.
using TDurationProbe = std::function<std::optional<std::int64_t>(const std::string& path)>;

// One choice of the open dialog's file type box.
struct TFileFilter {
    std::string Description;
    std::vector<std::string> Patterns; // such as "*.AVI"; they match in any letter case
};

// The file types the Add dialog offers, in order; the first is preselected.
const std::vector<TFileFilter>& OpenDialogFilters();

// The engine's media probe; the converter's libraries must be loaded.
std::optional<std::int64_t> ProbeMediaDuration(const std::string& path);

// Adds the chosen paths, in the dialog's order, as checked file rows with the zoom mode of
// the current format. Folders, paths already in the list (or twice in paths) and files the
// probe cannot open are passed over without a message; each row keeps the position of its
// path in paths. Returns the number of rows added.
int AddSourceFiles(TSourceListModel& list, const std::vector<std::string>& paths,
                   const std::string& zoomMode, const TDurationProbe& probe = ProbeMediaDuration);

} // namespace tessaro
