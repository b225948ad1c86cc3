#include "core/IniFile.h"

#include "base/FileHelpers.h"
#include "base/TextHelpers.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tessaro {

namespace {

// One file's lines, split so that unchanged lines are written back byte for byte.
struct TIniText {
    std::vector<std::string> lines; // without line ends
    std::string lineEnd = "\n";     // the file's own line end, kept on rewrite
    bool endsWithLineEnd = true;
};

TIniText SplitLines(const std::string& content) {
    TIniText text;
    std::size_t start = 0;
    bool lineEndKnown = false;
    while (start < content.size()) {
        const std::size_t newline = content.find('\n', start);
        if (newline == std::string::npos) {
            text.lines.push_back(content.substr(start));
            text.endsWithLineEnd = false;
            break;
        }
        std::size_t end = newline;
        const bool crlf = end > start && content[end - 1] == '\r';
        if (crlf) {
            --end;
        }
        if (!lineEndKnown) {
            text.lineEnd = crlf ? "\r\n" : "\n";
            lineEndKnown = true;
        }
        text.lines.push_back(content.substr(start, end - start));
        start = newline + 1;
    }
    return text;
}

std::string JoinLines(const TIniText& text) {
    std::string content;
    for (std::size_t i = 0; i < text.lines.size(); ++i) {
        content += text.lines[i];
        if (i + 1 < text.lines.size() || text.endsWithLineEnd) {
            content += text.lineEnd;
        }
    }
    return content;
}

bool IsComment(const std::string& trimmedLine) {
    return !trimmedLine.empty() && (trimmedLine[0] == ';' || trimmedLine[0] == '#');
}

// The section name of a "[name]" line, or nothing for any other line.
std::optional<std::string> SectionName(const std::string& line) {
    const std::string trimmed = TrimText(line);
    if (trimmed.empty() || trimmed[0] != '[') {
        return std::nullopt;
    }
    const std::size_t close = trimmed.find(']');
    return TrimText(trimmed.substr(1, close == std::string::npos ? std::string::npos : close - 1));
}

struct TKeyLine {
    std::string key;
    std::string value;
};

std::optional<TKeyLine> KeyLine(const std::string& line) {
    const std::string trimmed = TrimText(line);
    if (trimmed.empty() || IsComment(trimmed) || trimmed[0] == '[') {
        return std::nullopt;
    }
    const std::size_t equals = trimmed.find('=');
    if (equals == std::string::npos) {
        return std::nullopt;
    }
    return TKeyLine{TrimText(trimmed.substr(0, equals)), TrimText(trimmed.substr(equals + 1))};
}

// Where a key lives: the first section of that name and the first key of that name in it.
struct TKeyPosition {
    std::optional<std::size_t> sectionLine;
    std::optional<std::size_t> keyLine;
    std::size_t sectionEnd = 0; // one past the section's last non-blank line
};

TKeyPosition FindKey(const TIniText& text, const std::string& section, const std::string& key) {
    TKeyPosition position;
    for (std::size_t i = 0; i < text.lines.size(); ++i) {
        const auto name = SectionName(text.lines[i]);
        if (position.sectionLine) {
            if (name) {
                break;
            }
            if (!TrimText(text.lines[i]).empty()) {
                position.sectionEnd = i + 1;
            }
            const auto entry = KeyLine(text.lines[i]);
            if (entry && !position.keyLine && SameTextNoCase(entry->key, key)) {
                position.keyLine = i;
            }
        } else if (name && SameTextNoCase(*name, section)) {
            position.sectionLine = i;
            position.sectionEnd = i + 1;
        }
    }
    return position;
}

// A value is one line of the file: a line break inside it would start new entries.
std::string OnOneLine(std::string value) {
    for (char& c : value) {
        if (c == '\r' || c == '\n') {
            c = ' ';
        }
    }
    return value;
}

void PutKey(TIniText& text, const std::string& section, const std::string& key,
            const std::string& value) {
    const TKeyPosition position = FindKey(text, section, key);
    if (position.keyLine) {
        const auto entry = KeyLine(text.lines[*position.keyLine]);
        text.lines[*position.keyLine] = entry->key + "=" + value;
    } else if (position.sectionLine) {
        text.lines.insert(text.lines.begin() + std::ptrdiff_t(position.sectionEnd),
                          key + "=" + value);
    } else {
        text.lines.push_back("[" + section + "]");
        text.lines.push_back(key + "=" + value);
    }
    text.endsWithLineEnd = true;
}

// The real file behind a symbolic link, so a linked settings file stays linked.
std::string ResolvedTarget(const std::string& path) {
    struct stat info {};
    if (lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
        if (char* real = realpath(path.c_str(), nullptr)) {
            std::string resolved(real);
            std::free(real);
            return resolved;
        }
    }
    return path;
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string FileNameOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool WriteAll(int fd, const std::string& content) {
    std::size_t written = 0;
    while (written < content.size()) {
        const ssize_t n = ::write(fd, content.data() + written, content.size() - written);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        written += std::size_t(n);
    }
    return true;
}

mode_t NewFileMode() {
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

// Writes content to a fresh file beside target and renames it over target.
bool ReplaceFileAtomically(const std::string& target, const std::string& content, mode_t mode) {
    const std::string folder = FolderOf(target);
    std::string temporary = folder + "/." + FileNameOf(target) + ".XXXXXX";
    const int fd = mkstemp(temporary.data());
    if (fd < 0) {
        return false;
    }
    bool ok = WriteAll(fd, content) && fchmod(fd, mode) == 0 && fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok) {
        ok = std::rename(temporary.c_str(), target.c_str()) == 0;
    }
    if (!ok) {
        ::unlink(temporary.c_str());
        return false;
    }
    // Make the rename itself durable; the file is already complete either way.
    const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (dirFd >= 0) {
        fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

std::optional<std::string> FindValue(const std::string& path, const std::string& section,
                                     const std::string& key) {
    std::string content;
    if (ReadWholeFile(path, content) != TFileRead::Ok) {
        return std::nullopt;
    }
    const TIniText text = SplitLines(content);
    const TKeyPosition position = FindKey(text, section, key);
    if (!position.keyLine) {
        return std::nullopt;
    }
    return KeyLine(text.lines[*position.keyLine])->value;
}

bool IsHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    return (c | 0x20) - 'a' + 10;
}

bool ParseHex(const std::string& digits, int& value) {
    std::uint64_t result = 0;
    for (char c : digits) {
        if (!IsHexDigit(c)) {
            return false;
        }
        result = result * 16 + std::uint64_t(HexDigitValue(c));
        if (result > 0xFFFFFFFFull) {
            return false;
        }
    }
    // Eight hex digits fill the 32 bits: 0xFFFFFFFF is -1.
    value = int(std::int32_t(std::uint32_t(result)));
    return true;
}

bool ParseDecimal(const std::string& text, int& value) {
    std::size_t i = 0;
    const bool negative = !text.empty() && text[0] == '-';
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
        i = 1;
    }
    if (i == text.size()) {
        return false;
    }
    std::int64_t result = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
        result = result * 10 + (text[i] - '0');
        if (result > std::int64_t(INT_MAX) + 1) {
            return false;
        }
    }
    result = negative ? -result : result;
    if (result > INT_MAX || result < INT_MIN) {
        return false;
    }
    value = int(result);
    return true;
}

} // namespace

TIniWriteError::TIniWriteError(const std::string& path)
    : std::runtime_error("Unable to write to " + path), path_(path) {}

bool ParseIniInteger(const std::string& text, int& value) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        return ParseHex(text.substr(2), value);
    }
    return ParseDecimal(text, value);
}

std::string TIniFile::ReadString(const std::string& section, const std::string& key,
                                 const std::string& defaultValue) const {
    const auto value = FindValue(path_, section, key);
    if (!value) {
        return defaultValue;
    }
    return value->substr(0, MaxValueLength);
}

int TIniFile::ReadInteger(const std::string& section, const std::string& key,
                          int defaultValue) const {
    const auto value = FindValue(path_, section, key);
    int result = 0;
    if (!value || !ParseIniInteger(value->substr(0, MaxValueLength), result)) {
        return defaultValue;
    }
    return result;
}

bool TIniFile::ReadBool(const std::string& section, const std::string& key,
                        bool defaultValue) const {
    return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

void TIniFile::WriteString(const std::string& section, const std::string& key,
                           const std::string& value) {
    const std::string target = ResolvedTarget(path_);
    std::string content;
    mode_t mode = NewFileMode();
    switch (ReadWholeFile(target, content)) {
    case TFileRead::Missing:
        break;
    case TFileRead::Unreadable:
    case TFileRead::TooLarge:
        // Rewriting a file we cannot read would lose its other entries.
        throw TIniWriteError(path_);
    case TFileRead::Ok: {
        struct stat info {};
        if (stat(target.c_str(), &info) != 0 || access(target.c_str(), W_OK) != 0) {
            throw TIniWriteError(path_);
        }
        mode = info.st_mode & 07777;
        break;
    }
    }
    TIniText text = SplitLines(content);
    PutKey(text, section, key, OnOneLine(value));
    if (!ReplaceFileAtomically(target, JoinLines(text), mode)) {
        throw TIniWriteError(path_);
    }
}

void TIniFile::WriteInteger(const std::string& section, const std::string& key, int value) {
    WriteString(section, key, std::to_string(value));
}

void TIniFile::WriteBool(const std::string& section, const std::string& key, bool value) {
    WriteString(section, key, value ? "1" : "0");
}

} // namespace tessaro
