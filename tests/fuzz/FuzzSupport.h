// Helpers shared by the fuzz targets: reading an input piece by piece, a work folder in memory,
// the fixtures and the media libraries.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tessaro::fuzz {

// Takes a fuzz input apart from the front; past the end every read yields zeros or nothing, so
// any input, however short, gives a valid sequence of choices.
class TFuzzInput {
public:
    TFuzzInput(const std::uint8_t* data, std::size_t size)
        : text_(reinterpret_cast<const char*>(data), size) {}

    bool Empty() const { return text_.empty(); }
    std::uint8_t Byte();
    // A number in [0, count); count must be at least 1.
    std::size_t Choice(std::size_t count) { return Byte() % count; }
    std::uint32_t Word();
    // The bytes up to the next separator (which is dropped), or all that is left.
    std::string Until(char separator);
    std::string Rest();

private:
    std::string_view text_;
};

// The process's own folder for the files a target writes, on a memory file system when there
// is one; made on first use and removed when the process ends normally.
const std::string& WorkFolder();

// Writes content as the whole file at path; aborts the run when that fails (the target cannot
// go on without it).
void WriteWholeFile(const std::string& path, std::string_view content);

// The path of a file or folder made by scripts/make-fixtures; aborts with a hint when missing.
std::string FixturePath(const std::string& name);

// Loads the media libraries the converter uses, once; aborts when they cannot be loaded.
void LoadMediaLibraries();

} // namespace tessaro::fuzz
