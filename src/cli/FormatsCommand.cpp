// tessaro-cli formats: the output formats of the catalogue with their codes, groups and the
// extension the format file gives them; the codes are what convert --format takes.
#include "CliCommand.h"
#include "base/FileHelpers.h"
#include "core/AppPaths.h"
#include "core/IniFile.h"
#include "formats/FormatCatalogue.h"

#include <cstdio>
#include <iostream>

namespace tessaro::cli {
namespace {

int RunFormats(const std::vector<std::string>& args) {
    if (!args.empty()) {
        return Fail("formats takes no arguments");
    }
    const TIniFile formats(FormatFilePath(ProgramFolder()));
    const std::vector<TFormatGroup>& groups = FormatGroups();
    for (std::size_t group = 0; group < groups.size(); ++group) {
        const TFormatGroup& entry = groups[group];
        for (std::size_t position = 0; position < entry.Formats.size(); ++position) {
            const int code = FormatCodeOf(int(group), int(position));
            const std::string extension =
                formats.ReadString(FormatSectionName(code), "FileExt", "mp4");
            char line[256];
            std::snprintf(line, sizeof line, "%3d  %-24s %-42s %s", code, entry.Name,
                          entry.Formats[position], extension.c_str());
            std::cout << line << '\n';
        }
    }
    return 0;
}

const TCommandRegistration registration({"formats", "",
                                         "list the output formats: code, group, name, extension",
                                         &RunFormats});

} // namespace
} // namespace tessaro::cli
