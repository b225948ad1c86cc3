#include "Scrambling.h"

#include <algorithm>
#include <dlfcn.h>
#include <fcntl.h>
#include <linux/cdrom.h>
#include <set>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace dvddec {
namespace {

// Sectors read from the start of each title set: enough for several packs of every kind.
constexpr int SampledSectors = 32;

int PackHeaderLength(const std::uint8_t* sector) {
    if (sector[0] != 0 || sector[1] != 0 || sector[2] != 1 || sector[3] != 0xBA) {
        return -1;
    }
    if ((sector[4] & 0xC0) == 0x40) {
        return 14 + (sector[13] & 0x07); // MPEG-2 pack header with its stuffing
    }
    if ((sector[4] & 0xF0) == 0x20) {
        return 12; // MPEG-1 pack header
    }
    return -1;
}

// Packets whose payload CSS scrambles: video, MPEG audio and private stream 1 (AC-3, DTS,
// LPCM, subpictures). Their PES header has the MPEG-2 flags byte after the length.
bool CarriesScrambledPayload(std::uint8_t streamId) {
    return streamId == 0xBD || (streamId >= 0xC0 && streamId <= 0xEF);
}

struct TFdCloser {
    int fd;
    ~TFdCloser() {
        if (fd >= 0) {
            close(fd);
        }
    }
};

bool SectorsScrambled(dvd_file_t* vobs, std::uint32_t firstSector, std::uint32_t count) {
    std::vector<std::uint8_t> buffer(std::size_t(count) * DVD_VIDEO_LB_LEN);
    const ssize_t read = DVDReadBlocks(vobs, int(firstSector), count, buffer.data());
    for (ssize_t i = 0; i < read; ++i) {
        if (SectorScrambled(buffer.data() + i * DVD_VIDEO_LB_LEN)) {
            return true;
        }
    }
    return false;
}

// The first sectors of one title of each title set: a disc scrambles all or none of a set.
bool TitleSectorsScrambled(TDisc& disc) {
    std::set<int> sampled;
    for (int index = 0; index < disc.TitleCount(); ++index) {
        TTitleLayout layout;
        std::string error;
        if (!disc.TitleLayout(index, layout, error) || !sampled.insert(layout.titleSet).second) {
            continue;
        }
        const auto cells = PlayedCells(layout, 1, int(layout.chapters.size()));
        if (cells.empty() || cells.front()->last_sector < cells.front()->first_sector) {
            continue;
        }
        TDvdFilePtr vobs;
        {
            std::lock_guard lock(LibraryLock());
            vobs.reset(DVDOpenFile(disc.Reader(), layout.titleSet, DVD_READ_TITLE_VOBS));
        }
        const cell_playback_t& cell = *cells.front();
        const std::uint32_t count =
            std::min<std::uint32_t>(SampledSectors, cell.last_sector - cell.first_sector + 1);
        if (vobs && SectorsScrambled(vobs.get(), cell.first_sector, count)) {
            return true;
        }
    }
    return false;
}

} // namespace

bool SectorScrambled(const std::uint8_t* sector) {
    int at = PackHeaderLength(sector);
    if (at < 0) {
        return false;
    }
    // Walks the packets of the pack; each starts with 00 00 01, its id and its length.
    while (at + 7 <= DVD_VIDEO_LB_LEN) {
        const std::uint8_t* packet = sector + at;
        if (packet[0] != 0 || packet[1] != 0 || packet[2] != 1) {
            return false;
        }
        if (CarriesScrambledPayload(packet[3]) && (packet[6] & 0xC0) == 0x80) {
            return (packet[6] & 0x30) != 0;
        }
        at += 6 + (packet[4] << 8 | packet[5]);
    }
    return false;
}

bool CssLibraryAvailable() {
    // The name libdvdread itself loads.
    void* library = dlopen("libdvdcss.so.2", RTLD_LAZY | RTLD_LOCAL);
    if (library == nullptr) {
        return false;
    }
    dlclose(library);
    return true;
}

bool DeviceReportsCss(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0 || !S_ISBLK(info.st_mode)) {
        return false;
    }
    const TFdCloser device{open(path.c_str(), O_RDONLY | O_NONBLOCK)};
    if (device.fd < 0) {
        return false;
    }
    dvd_struct request{};
    request.type = DVD_STRUCT_COPYRIGHT;
    request.copyright.layer_num = 0;
    return ioctl(device.fd, DVD_READ_STRUCT, &request) == 0 && request.copyright.cpst != 0;
}

bool DiscEncrypted(TDisc& disc) {
    if (TitleSectorsScrambled(disc)) {
        return true;
    }
    return DeviceReportsCss(disc.Path()) && !CssLibraryAvailable();
}

} // namespace dvddec
