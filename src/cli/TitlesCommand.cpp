// tessaro-cli titles LOCATION: the titles of a DVD as the DVD plug-in describes them.
#include "CliCommand.h"
#include "DVDPlugIn.h"
#include "base/FileHelpers.h"
#include "core/AppPaths.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>

namespace tessaro::cli {
namespace {

// H:MM:SS.mmm, the milliseconds cut off as other DVD tools print them.
std::string DurationText(double seconds) {
    const long long milliseconds = static_cast<long long>(seconds * 1000 + 1e-6);
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld.%03lld", milliseconds / 3600000,
                  milliseconds / 60000 % 60, milliseconds / 1000 % 60, milliseconds % 1000);
    return text;
}

std::string StreamId(int id) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%02X", id);
    return text;
}

void PrintTitle(int number, const TDVDTitleInfo& title) {
    std::cout << "Title " << number << ": " << DurationText(title.Duration) << ", " << title.Width
              << "x" << title.Height << ", " << DVDFormatName(title.VideoFormat) << ", "
              << title.ChapterCount << (title.ChapterCount == 1 ? " chapter" : " chapters") << '\n';
    for (int i = 0; i < title.AudioCount && i < DVD_MAX_AUDIO; ++i) {
        const TDVDAudioInfo& audio = title.Audio[i];
        std::cout << "  Audio " << StreamId(audio.StreamID) << ": "
                  << std::string(audio.Name, strnlen(audio.Name, sizeof audio.Name)) << '\n';
    }
    for (int i = 0; i < title.SubtitleCount && i < DVD_MAX_SUBTITLE; ++i) {
        const TDVDSubtitleInfo& subtitle = title.Subtitle[i];
        std::cout << "  Subpicture " << StreamId(subtitle.StreamID) << ": "
                  << std::string(subtitle.Name, strnlen(subtitle.Name, sizeof subtitle.Name))
                  << '\n';
    }
}

int RunTitles(const std::vector<std::string>& args) {
    if (args.size() != 1) {
        return Fail("titles needs exactly one LOCATION (DVD device, folder or ISO image)");
    }
    const std::string& location = args[0];
    std::error_code error;
    if (!std::filesystem::exists(location, error)) {
        return Fail("\"" + location + "\" does not exist");
    }
    const std::string libraryFolder = LibraryFolder(ProgramFolder());
    if (!LoadDVDPlugIn(libraryFolder)) {
        return Fail("the DVD plug-in library cannot be loaded from " + libraryFolder);
    }
    const int count = DVDEnumTitle(location);
    if (count < 1) {
        return Fail("\"" + location + "\" is not a DVD: no DVD-Video titles found");
    }
    int described = 0;
    for (int index = 0; index < count; ++index) {
        TDVDTitleInfo title;
        if (!DVDGetTitle(index, title)) {
            std::cerr << "Title #" << index + 1 << " is invalid\n";
            continue;
        }
        PrintTitle(index + 1, title);
        ++described;
    }
    return described > 0 ? 0 : Fail("no title of \"" + location + "\" can be read");
}

const TCommandRegistration registration({"titles", "LOCATION",
                                         "list the titles of a DVD (device, folder or ISO image)",
                                         &RunTitles});

} // namespace
} // namespace tessaro::cli
