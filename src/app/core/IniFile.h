// Reader and writer for the program's INI files (settings file and format file).
//
// No settings are cached: every read opens and parses the file, every write
// rewrites it at once. Section and key names match without regard to letter
// case, values lose their surrounding blanks and are cut at 2047 characters.
// A write replaces the file atomically (temporary file in the same folder,
// flushed to disk, then renamed over the old one), so a crash or a full disk
// leaves either the old or the new file, never a damaged one. Lines the write
// does not touch (other sections, keys, comments) keep their text and order.
#pragma once

#include <stdexcept>
#include <string>

namespace tessaro {

// Raised when a write cannot be completed; the text is "Unable to write to <path>".
class TIniWriteError : public std::runtime_error {
public:
    explicit TIniWriteError(const std::string& path);
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

class TIniFile {
public:
    static constexpr std::size_t MaxValueLength = 2047;

    explicit TIniFile(std::string path) : path_(std::move(path)) {}

    const std::string& FileName() const { return path_; }

    // A missing or unreadable file, section or key yields the default.
    std::string ReadString(const std::string& section, const std::string& key,
                           const std::string& defaultValue) const;
    // "0x"/"0X" followed by hex digits (value longer than two characters) reads as
    // hexadecimal, otherwise as an optionally signed decimal; anything else, or a
    // number outside the 32-bit range, yields the default.
    int ReadInteger(const std::string& section, const std::string& key, int defaultValue) const;
    // An integer read: 0 is false, any other integer true.
    bool ReadBool(const std::string& section, const std::string& key, bool defaultValue) const;

    // Each write stores one key at once, creating file and section when missing.
    // Failure raises TIniWriteError and leaves the file as it was.
    void WriteString(const std::string& section, const std::string& key, const std::string& value);
    void WriteInteger(const std::string& section, const std::string& key, int value);
    void WriteBool(const std::string& section, const std::string& key, bool value);

private:
    std::string path_;
};

// The integer rule on its own, for values that come from elsewhere than a file.
bool ParseIniInteger(const std::string& text, int& value);

} // namespace tessaro
