#include "sources/SourceFiles.h"

#include "probe/MediaProbe.h"
#include "run/ConversionJob.h"
#include "settings/AppPaths.h"
#include "settings/IniFile.h"
#include "sources/SourceListModel.h"

#include <filesystem>
#include <set>
#include <system_error>

namespace tessaro {

TDestinationRule ReadDestinationRule(TIniFile& settings, const TIniFile& formats) {
    const TRunFormat format = ReadRunFormat({settings, formats, StoredFormatCode(settings)});
    return {settings.ReadString("settings", "OutPutDir", DefaultOutputDir()), format.ExtensionText};
}

std::optional<std::int64_t> ProbeMediaDuration(const std::string& path) {
    TMediaProbe probe;
    if (!probe.LoadFile(path)) {
        return std::nullopt;
    }
    TFileStreamInfo info;
    probe.GetFileStreamInfo(info);
    return info.Duration;
}

int AddSourceFiles(TSourceListModel& list, const std::vector<std::string>& paths,
                   const std::string& zoomMode, const TDurationProbe& probe) {
    std::vector<TNewFileRow> rows;
    std::set<std::string> chosen;
    for (std::size_t position = 0; position < paths.size(); ++position) {
        const std::string& path = paths[position];
        std::error_code error;
        if (std::filesystem::is_directory(path, error) || !chosen.insert(path).second ||
            (list.Kind() == TRowKind::File && list.ContainsCaption(path))) {
            continue;
        }
        const std::optional<std::int64_t> duration = probe(path);
        if (!duration) {
            continue;
        }
        // Whole seconds, truncated; an unknown length (-1) shows as 0.
        const auto seconds = static_cast<std::int32_t>(*duration / 1000000);
        rows.push_back({path, static_cast<std::int32_t>(position), seconds, zoomMode});
    }
    return list.AddFileRows(rows);
}

} // namespace tessaro
