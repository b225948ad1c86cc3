#include "sources/SourceFiles.h"

#include "core/AppPaths.h"
#include "core/IniFile.h"
#include "formats/RunChoices.h"
#include "formats/TextRules.h"
#include "probe/MediaProbe.h"
#include "sources/SourceListModel.h"

#include <filesystem>
#include <set>
#include <system_error>

namespace tessaro {

namespace {

// Pairs of description and ";"-separated patterns, all separated by "|".
constexpr const char* kFilterText =
    "All Supported Video Formats|"
    "*.AVI;*.AVM;*.ASF;*.WMV;*.AVS;*.FLV;*.MKV;*.MOV;*.3GP;*.3G2;*.M4V;*.MP4;*.MPG;*.MPEG;*.DAT;*."
    "OGM;*.VOB;*.RM;*.RMVB;*.TS;*.TP;*.IFO;*.NSV;*.SWF;|"
    "All Supported Audio Formats|"
    "*.MP3;*.AAC;*.WAV;*.WMA;*.OGG;*.CDA;*.FLAC;*.M4A;*.MID;*.MKA;*.MP2;*.MPA;*.MPC;*.APE;*.OFR;*."
    "OGG;*.RA;*.WV;*.TTA;*.AC3;*.DTS;|"
    "AVI files (*.avi)|*.avi|MPEG4 files (*.mp4)|*.mp4|MPEG files (*.mpg,*.mpeg)|"
    "*.mpg;*.mpeg|3GP files (*.3gp,*.3g2)|*.3gp;*.3g2|Itunes Video files (*.m4v)|*.m4v|"
    "Windows Media files (*.wmv,*.asf)|*.wmv;*.asf|Real Media files (*.rm,*.rmvb)|"
    "*.rm;*.rmvb|Video CD files (*.dat)|*.dat|Quick Time files (*.mov)|*.mov|"
    "Flash Video files (*.flv)|*.flv|Matroska Video files (*.mkv)|*.mkv|"
    "MJPEG Video files (*.mjpg,*.mjpeg)|*.mjpg;*.mjpeg|Animated GIF files (*.gif)|*.gif|"
    "H.264/MPEG4 AVC Video files (*.mts,*.m2ts)|*.mts;*.m2ts|"
    "DVD video object files (*.vob)|*.vob|MPEG-1 Video files (*.mpv)|*.mpv|"
    "Video Transport Stream files (*.ts)|*.ts|TP Video files (*.tp)|*.tp|"
    "Macromedia Flash files (*.swf)|*.swf|MP3 Audio files (*.mp3)|*.mp3|"
    "Advanced Audio Coding files (*.aac)|*.aac|Monkey's Audio files (*.ape)|*.ape|"
    "Ogg Vorbis Audio files (*.ogg)|*.ogg|Windows Media Audio files (*.wma)|*.wma|"
    "MusePack Audio files (*.mpc)|*.mpc|MPEG Audio files (*.mpa)|*.mpa|"
    "MPEG-4 Audio files (*.m4a)|*.m4a|Matroska Audio files (*.mka)|*.mka|"
    "DTS Audio files (*.dts)|*.dts|Audio Codec 3 files (*.ac3)|*.ac3|"
    "Speex Audio files (*.spx)|*.spx|Real Audio files (*.ra,*.ram)|*.ra;*.ram|"
    "MPEG Layer II Compressed Audio files (*.mp2)|*.mp2|All files (*.*)|*.*";

std::vector<TFileFilter> ParseFilters(const std::string& text) {
    const std::vector<std::string> parts = SplitAtEvery(text, '|');
    std::vector<TFileFilter> filters;
    for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
        TFileFilter filter{parts[i], {}};
        for (std::string& pattern : SplitAtEvery(parts[i + 1], ';')) {
            if (!pattern.empty()) {
                filter.Patterns.push_back(std::move(pattern));
            }
        }
        filters.push_back(std::move(filter));
    }
    return filters;
}

} // namespace

const std::vector<TFileFilter>& OpenDialogFilters() {
    static const std::vector<TFileFilter> filters = ParseFilters(kFilterText);
    return filters;
}

TDestinationRule ReadDestinationRule(TIniFile& settings, const TIniFile& formats) {
    const TRunFormat format = ReadRunFormat(settings, formats, StoredFormatCode(settings));
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
