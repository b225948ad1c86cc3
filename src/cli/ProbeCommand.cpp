// tessaro-cli probe FILE...: the description of each media file (or "opendvd:" title) as the
// media probe gives it.
#include "CliCommand.h"
#include "base/FileHelpers.h"
#include "converter/Converter.h"
#include "core/AppPaths.h"

#include <iostream>

namespace tessaro::cli {
namespace {

int RunProbe(const std::vector<std::string>& args) {
    if (args.empty()) {
        return Fail("probe needs at least one FILE");
    }
    TConverter converter;
    if (!converter.LoadLibraries(LibraryFolder(ProgramFolder()))) {
        return Fail(converter.LastError());
    }
    TMediaProbe& probe = converter.Probe();
    int status = 0;
    for (const std::string& file : args) {
        std::string error;
        if (!LoadDvdPlugInFor(file, error)) {
            status = Fail(error);
            continue;
        }
        if (!probe.LoadFile(file)) {
            status = Fail(probe.LastError());
            continue;
        }
        std::cout << probe.GetFileInfoText() << std::flush;
        probe.CloseFile();
    }
    return status;
}

const TCommandRegistration registration({"probe", "FILE...",
                                         "describe media files: container, streams, metadata",
                                         &RunProbe});

} // namespace
} // namespace tessaro::cli
