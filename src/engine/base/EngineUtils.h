// Small engine-wide utilities: dynamic loading from a folder, the file-size text and
// the token splitter shared by every option-text parser.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
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

// "%.2f GB", "%.2f MB", "%.2f KB" above 2^30, 2^20 and 1024 bytes; "%d Byte" otherwise
// (negative sizes included).
std::string FormatFileSize(std::int64_t size);

// Returns the part of text before the first separator (all of text when there is none).
// With remove, text becomes the part after that separator (empty when there was none).
std::string SplitFirst(std::string& text, std::string_view separator, bool remove);

} // namespace tessaro
