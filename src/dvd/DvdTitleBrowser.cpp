#include "DvdTitleBrowser.h"

#include "DVDPlugIn.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <linux/cdrom.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaro {
namespace {

// A name field of the plug-in's records: it ends at the first zero byte or after its size.
std::string NameText(const char (&name)[DVD_NAME_SIZE]) {
    return std::string(name, strnlen(name, sizeof name));
}

std::string StreamLine(std::int32_t streamId, const char (&name)[DVD_NAME_SIZE]) {
    return std::to_string(streamId) + "  " + NameText(name);
}

bool EndsWithVideoTs(const std::string& path) {
    const std::string name = path.substr(path.find_last_of('/') + 1);
    return name.size() == 8 && strncasecmp(name.c_str(), "VIDEO_TS", 8) == 0;
}

// An optical drive answers whether it holds a disc; other devices are tried by reading.
bool DriveHoldsDisc(const std::string& device) {
    const int fd = open(device.c_str(), O_RDONLY | O_NONBLOCK);
    if (fd < 0) {
        return false;
    }
    const int status = ioctl(fd, CDROM_DRIVE_STATUS, CDSL_CURRENT);
    bool readable = status == CDS_DISC_OK;
    if (status < 0) {
        char byte = 0;
        readable = read(fd, &byte, 1) == 1;
    }
    close(fd);
    return readable;
}

} // namespace

int TDvdScan::ValidCount() const {
    return int(std::count_if(Titles.begin(), Titles.end(),
                             [](const TDvdTitle& title) { return title.Valid; }));
}

std::string DvdLocationOf(const std::string& path) {
    std::string location = path;
    while (location.size() > 1 && location.back() == '/') {
        location.pop_back();
    }
    if (EndsWithVideoTs(location)) {
        const std::size_t slash = location.find_last_of('/');
        location = slash == std::string::npos ? "." : slash == 0 ? "/" : location.substr(0, slash);
    }
    return location;
}

bool DvdLocationReadable(const std::string& location) {
    struct stat info {};
    if (location.empty() || stat(location.c_str(), &info) != 0 ||
        access(location.c_str(), R_OK) != 0) {
        return false;
    }
    return !S_ISBLK(info.st_mode) || DriveHoldsDisc(location);
}

TDvdScan ScanDvd(const std::string& libraryFolder, const std::string& location) {
    TDvdScan scan;
    scan.Location = location;
    if (!IsDVDPlugInLoaded() && !LoadDVDPlugIn(libraryFolder)) {
        scan.Status = TDvdScanStatus::PlugInMissing;
        return scan;
    }
    if (!DvdLocationReadable(location)) {
        scan.Status = TDvdScanStatus::NoDisc;
        return scan;
    }
    const std::int32_t count = DVDEnumTitle(location);
    if (count < 1) {
        scan.Status = TDvdScanStatus::NoTitles;
        return scan;
    }
    if (DVDDiscEncrypted()) {
        scan.Status = TDvdScanStatus::Encrypted;
        return scan;
    }
    std::vector<TTitleShape> shapes;
    for (std::int32_t index = 0; index < count; ++index) {
        TDvdTitle& title = scan.Titles.emplace_back();
        title.Index = index;
        title.Valid = DVDGetTitle(index, title.Info);
        if (title.Valid) {
            title.Cells = DVDGetTitleCells(index);
            shapes.push_back(ShapeOf(title));
        }
    }
    // Picks of the valid titles, handed back to every title in order.
    const std::vector<TTitlePick> picks = PickTitles(shapes);
    auto next = picks.begin();
    for (const TDvdTitle& title : scan.Titles) {
        scan.Picks.push_back(title.Valid ? *next++ : TTitlePick{});
    }
    scan.Status = TDvdScanStatus::Ok;
    return scan;
}

TTitleShape ShapeOf(const TDvdTitle& title) {
    return {title.Index, title.Info.Duration, title.Info.ChapterCount, title.Cells};
}

std::string DvdLengthText(double seconds) {
    const long long whole = seconds > 0 ? static_cast<long long>(std::trunc(seconds)) : 0;
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02d:%02d", whole / 3600, int(whole / 60 % 60),
                  int(whole % 60));
    return text;
}

std::string DvdTitleCaption(std::int32_t index) {
    return "DVD Title " + std::to_string(index + 1);
}

std::vector<std::string> DvdTitleRowTexts(std::int32_t index, const TDVDTitleInfo& info) {
    const std::string length = "   " + DvdLengthText(info.Duration);
    return {DvdTitleCaption(index),
            length,
            length,
            "   " + std::to_string(info.Width) + " x " + std::to_string(info.Height),
            "   " + DVDFormatName(info.VideoFormat),
            std::string()};
}

std::vector<std::string> DvdAudioLines(const TDVDTitleInfo& info) {
    std::vector<std::string> lines;
    for (int i = 0; i < std::clamp<int>(info.AudioCount, 0, DVD_MAX_AUDIO); ++i) {
        lines.push_back(StreamLine(info.Audio[i].StreamID, info.Audio[i].Name));
    }
    return lines;
}

std::vector<std::string> DvdSubtitleLines(const TDVDTitleInfo& info) {
    std::vector<std::string> lines;
    for (int i = 0; i < std::clamp<int>(info.SubtitleCount, 0, DVD_MAX_SUBTITLE); ++i) {
        lines.push_back(StreamLine(info.Subtitle[i].StreamID, info.Subtitle[i].Name));
    }
    lines.push_back(DefaultSubtitleLine);
    return lines;
}

} // namespace tessaro
