// Small engine-wide utilities: dynamic loading from a folder, the file-size text and
// the token splitter shared by every option-text parser.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tessaro {

// Loads Dir + FileName with dlopen when Dir is not empty and names an existing file
// (libraries of that folder that it depends on are loaded from there first, so the
// whole set comes from one place); otherwise loads the bare FileName through the
// system search. Returns null and sets error to dlerror()'s text on failure.
void* LoadLibraryFromDir(const std::string& dir, const std::string& fileName, std::string& error);

// "%.2f GB", "%.2f MB", "%.2f KB" above 2^30, 2^20 and 1024 bytes; "%d Byte" otherwise
// (negative sizes included).
std::string FormatFileSize(std::int64_t size);

// Returns the part of text before the first separator (all of text when there is none).
// With remove, text becomes the part after that separator (empty when there was none).
std::string SplitFirst(std::string& text, std::string_view separator, bool remove);

} // namespace tessaro
