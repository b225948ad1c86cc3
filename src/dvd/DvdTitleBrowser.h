// The DVD title browser without widgets: reading a disc's titles through the plug-in, which
// of them to check, and the texts the source list and the DVD group show for a title.
#pragma once

#include "DVDDecApi.h"
#include "MainFeature.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tessaro {

// One title of a disc as read.
struct TDvdTitle {
    std::int32_t Index = 0; // 0-based title number
    bool Valid = false;     // false: the plug-in cannot describe it
    TDVDTitleInfo Info{};
    std::vector<TDVDCellExtent> Cells;
};

enum class TDvdScanStatus {
    Ok,
    PlugInMissing, // the plug-in cannot be loaded
    NoDisc,        // nothing readable at the location (an empty drive, a path that is gone)
    NoTitles,      // readable, but no DVD-Video titles
    Encrypted,     // scrambled titles and nothing here to descramble them
};

struct TDvdScan {
    TDvdScanStatus Status = TDvdScanStatus::NoDisc;
    std::string Location;
    std::vector<TDvdTitle> Titles; // every title of the disc, valid or not, in order
    std::vector<TTitlePick> Picks; // one per title; invalid titles are not picked

    int ValidCount() const;
};

// The DVD location a chosen path stands for: a VIDEO_TS folder stands for the folder that
// holds it; trailing slashes are dropped.
std::string DvdLocationOf(const std::string& path);

// False when nothing can be read at location: it does not exist or cannot be read, or it is
// an optical drive without a disc.
bool DvdLocationReadable(const std::string& location);

// Loads the plug-in from libraryFolder when it is not loaded yet, then reads the disc at
// location: its titles, their cells, whether they are scrambled, and the picks.
TDvdScan ScanDvd(const std::string& libraryFolder, const std::string& location);

// The title's shape for the main-feature choice.
TTitleShape ShapeOf(const TDvdTitle& title);

// A length in whole seconds (fractions cut off) as H:MM:SS, hours without leading zeros.
std::string DvdLengthText(double seconds);

// "DVD Title " + the title number counted from 1.
std::string DvdTitleCaption(std::int32_t index);

// The texts of a title row: caption, duration, trim length, frame size, video format and an
// empty progress.
std::vector<std::string> DvdTitleRowTexts(std::int32_t index, const TDVDTitleInfo& info);

// The lines of the audio box (stream id, two blanks, name) and of the subtitle box (the same
// for each subtitle, then "Default").
std::vector<std::string> DvdAudioLines(const TDVDTitleInfo& info);
std::vector<std::string> DvdSubtitleLines(const TDVDTitleInfo& info);
inline constexpr const char* DefaultSubtitleLine = "Default";

} // namespace tessaro
