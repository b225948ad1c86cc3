// The settings file reader and writer on any file content: a sequence of writes, each followed
// by reads. What a write stores reads back as stored (one line, without surrounding blanks, cut
// at the value limit); no other key changes; nothing but the file (and the file a link points
// to) is left in its folder; integer reads follow the integer rule on the text read.
//
// Input: the file's content, a zero byte, then the writes: each is an operation byte, a section
// byte, a key byte and (for text writes) the value up to the next zero byte. Section and key
// bytes pick one of the names the program uses, or take a name from the input.
#include "FuzzSupport.h"
#include "FuzzTarget.h"
#include "base/TextHelpers.h"
#include "core/IniFile.h"

#include <array>
#include <filesystem>
#include <vector>

namespace tessaro::fuzz {
namespace {

constexpr std::array<const char*, 6> Sections = {"settings",    "SETTINGS",      "lstformat",
                                                 "formatInfo1", "formatInfo203", "FORMATINFO203"};
constexpr std::array<const char*, 10> Keys = {
    "OutPutDir", "outputdir", "FormatCode", "priority",   "0",
    "2",         "paraZoom",  "PARAZOOM",   "iVideoSize", "paraVideoEncoder"};
constexpr int NoValue = -559038737; // a default no file is expected to hold
constexpr int MaxWrites = 8;

struct TEntry {
    std::string section;
    std::string key;
};

// Names the program could ask for: letters, digits and a few signs, never blank-edged.
bool IsName(const std::string& text) {
    if (text.empty() || text.size() > 40) {
        return false;
    }
    for (const char c : text) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '_' || c == '-' || c == '.';
        if (!plain) {
            return false;
        }
    }
    return true;
}

template <std::size_t N>
std::string PickName(TFuzzInput& input, const std::array<const char*, N>& names) {
    const std::uint8_t choice = input.Byte();
    if (choice < N) {
        return names[choice];
    }
    // Any other byte: the name is the input's text up to the next zero byte.
    const std::string own = input.Until('\0');
    return IsName(own) ? own : names[choice % N];
}

// What reading back a stored text gives: the text on one line, without surrounding blanks,
// cut at the value limit.
std::string StoredText(std::string value) {
    for (char& c : value) {
        if (c == '\r' || c == '\n') {
            c = ' ';
        }
    }
    return TrimText(value).substr(0, TIniFile::MaxValueLength);
}

bool SameEntry(const TEntry& a, const TEntry& b) {
    return SameTextNoCase(a.section, b.section) && SameTextNoCase(a.key, b.key);
}

// The written entry, other keys of its section, the same key in other sections and two
// entries elsewhere: enough to see a write reach into a key it does not name.
std::vector<TEntry> KnownEntries(const TEntry& written) {
    return {written,
            {written.section, Keys[0]},
            {written.section, Keys[2]},
            {written.section, Keys[6]},
            {Sections[0], written.key},
            {Sections[3], written.key},
            {Sections[5], written.key},
            {"settings", "OutPutDir"},
            {"formatInfo203", "paraZoom"}};
}

std::vector<std::string> ReadAll(const TIniFile& ini, const std::vector<TEntry>& entries) {
    std::vector<std::string> values;
    for (const TEntry& entry : entries) {
        values.push_back(ini.ReadString(entry.section, entry.key, "\x01<missing>"));
    }
    return values;
}

void CheckIntegerRead(const TIniFile& ini, const TEntry& entry) {
    const std::string text = ini.ReadString(entry.section, entry.key, "");
    int parsed = 0;
    const int expected = ParseIniInteger(text, parsed) ? parsed : NoValue;
    TESSARO_FUZZ_CHECK(ini.ReadInteger(entry.section, entry.key, NoValue) == expected,
                       "an integer read differs from the integer rule on the text \"" + text +
                           "\"");
    TESSARO_FUZZ_CHECK(ini.ReadBool(entry.section, entry.key, true) == (expected != 0),
                       "a boolean read differs from the integer read of \"" + text + "\"");
}

std::size_t FolderEntryCount(const std::string& folder) {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) {
        ++count;
    }
    return count;
}

// One write and the checks after it. False when the write was refused.
bool WriteAndCheck(TIniFile& ini, TFuzzInput& input, const std::string& folder,
                   std::size_t filesInFolder) {
    const std::uint8_t operation = input.Byte() % 3;
    const TEntry entry{PickName(input, Sections), PickName(input, Keys)};
    const std::vector<TEntry> entries = KnownEntries(entry);
    const std::vector<std::string> before = ReadAll(ini, entries);
    std::string expected;
    try {
        if (operation == 0) {
            const std::string value = input.Until('\0');
            ini.WriteString(entry.section, entry.key, value);
            expected = StoredText(value);
        } else if (operation == 1) {
            const int value = int(input.Word());
            ini.WriteInteger(entry.section, entry.key, value);
            expected = std::to_string(value);
            TESSARO_FUZZ_CHECK(ini.ReadInteger(entry.section, entry.key, NoValue) == value,
                               "an integer written does not read back");
        } else {
            const bool value = (input.Byte() & 1) != 0;
            ini.WriteBool(entry.section, entry.key, value);
            expected.assign(1, value ? '1' : '0');
            TESSARO_FUZZ_CHECK(ini.ReadBool(entry.section, entry.key, !value) == value,
                               "a boolean written does not read back");
        }
    } catch (const TIniWriteError& error) {
        // Only a file too large to read may refuse a write here; it must stay as it was.
        TESSARO_FUZZ_CHECK(ReadAll(ini, entries) == before,
                           std::string("a refused write changed the file: ") + error.what());
        return false;
    }
    const std::vector<std::string> after = ReadAll(ini, entries);
    TESSARO_FUZZ_CHECK(after[0] == expected, "[" + entry.section + "] " + entry.key +
                                                 " reads back \"" + after[0] + "\" instead of \"" +
                                                 expected + "\"");
    for (std::size_t i = 1; i < entries.size(); ++i) {
        TESSARO_FUZZ_CHECK(SameEntry(entries[i], entry) || after[i] == before[i],
                           "writing [" + entry.section + "] " + entry.key + " changed [" +
                               entries[i].section + "] " + entries[i].key + " from \"" + before[i] +
                               "\" to \"" + after[i] + "\"");
    }
    CheckIntegerRead(ini, entry);
    CheckIntegerRead(ini, entries[1 + input.Choice(entries.size() - 1)]);
    TESSARO_FUZZ_CHECK(FolderEntryCount(folder) == filesInFolder,
                       "a write left a file behind in the settings folder");
    return true;
}

void Initialize() {
    std::filesystem::create_directories(WorkFolder() + "/ini");
}

void Run(const std::uint8_t* data, std::size_t size) {
    TFuzzInput input(data, size);
    const std::string folder = WorkFolder() + "/ini";
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        std::filesystem::remove(entry.path());
    }
    // The first byte decides whether the settings file is a link to the real file (a
    // linked settings file must stay linked).
    const bool linked = (input.Byte() & 1) != 0;
    const std::string path = folder + "/tessaro.ini";
    const std::string target = linked ? folder + "/real.ini" : path;
    WriteWholeFile(target, input.Until('\0'));
    if (linked) {
        std::filesystem::create_symlink("real.ini", path);
    }
    const std::size_t filesInFolder = FolderEntryCount(folder);
    TIniFile ini(path);
    for (int i = 0; i < MaxWrites && !input.Empty(); ++i) {
        if (!WriteAndCheck(ini, input, folder, filesInFolder)) {
            break;
        }
    }
    TESSARO_FUZZ_CHECK(!linked || std::filesystem::is_symlink(path),
                       "a write replaced the link to the settings file");
}

} // namespace
} // namespace tessaro::fuzz

TESSARO_FUZZ_TARGET("ini_round_trip", tessaro::fuzz::Initialize, tessaro::fuzz::Run)
