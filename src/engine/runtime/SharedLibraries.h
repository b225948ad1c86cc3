// Loading shared libraries from a folder: the media libraries and the DVD plug-in are taken
// from the program's LibAV folder as one consistent set before the system search is tried.
#pragma once

#include <string>
#include <vector>

namespace tessaro {

// Loads Dir + FileName with dlopen when Dir is not empty and names an existing file
// (libraries of that folder that it depends on are loaded from there first, so the
// whole set comes from one place); otherwise loads the bare FileName through the
// system search. Returns null and sets error to dlerror()'s text on failure.
void* LoadLibraryFromDir(const std::string& dir, const std::string& fileName, std::string& error);

// The libraries (DT_NEEDED sonames) a 64-bit ELF shared library depends on; empty when
// the file is not one.
std::vector<std::string> NeededLibraries(const std::string& path);

} // namespace tessaro
