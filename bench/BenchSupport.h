// Pieces the benchmark programs share.
#pragma once

#include "DVDPlugIn.h"
#include "base/FileHelpers.h"

#include <cstdio>
#include <string>

namespace tessaro::bench {

// Loads the DVD plug-in from LibAV beside the running program, as the product does; prints
// why and returns false when it cannot be loaded.
inline bool LoadDvdPlugInBesideProgram() {
    const std::string folder = ProgramFolder() + "LibAV";
    if (!LoadDVDPlugIn(folder)) {
        std::fprintf(stderr, "the DVD plug-in cannot be loaded from %s\n", folder.c_str());
        return false;
    }
    return true;
}

} // namespace tessaro::bench
