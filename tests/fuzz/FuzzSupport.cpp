#include "FuzzSupport.h"

#include "FuzzTarget.h"
#include "TestPaths.h"
#include "runtime/LibraryLoader.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

using tessaro::test::FixtureDir;

namespace tessaro::fuzz {

namespace {

std::vector<const TFuzzTarget*>& Registry() {
    static std::vector<const TFuzzTarget*> targets;
    return targets;
}

[[noreturn]] void Stop(const std::string& message) {
    std::fprintf(stderr, "fuzz set-up: %s\n", message.c_str());
    std::abort();
}

std::string MakeWorkFolder() {
    std::error_code error;
    const std::filesystem::path memory("/dev/shm");
    const std::filesystem::path base = std::filesystem::is_directory(memory, error)
                                           ? memory
                                           : std::filesystem::temp_directory_path();
    std::string pattern = (base / "tessaro-fuzz-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        Stop("cannot make a work folder under " + base.string());
    }
    return pattern;
}

// Removes the work folder when the process ends normally.
struct TWorkFolder {
    std::string path = MakeWorkFolder();
    ~TWorkFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
};

} // namespace

TFuzzRegistration::TFuzzRegistration(const TFuzzTarget& target) {
    Registry().push_back(&target);
}

const TFuzzTarget* const* FuzzTargets(std::size_t& count) {
    count = Registry().size();
    return Registry().data();
}

std::uint8_t TFuzzInput::Byte() {
    if (text_.empty()) {
        return 0;
    }
    const auto value = static_cast<std::uint8_t>(text_.front());
    text_.remove_prefix(1);
    return value;
}

std::uint32_t TFuzzInput::Word() {
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
        value |= std::uint32_t(Byte()) << (8 * i);
    }
    return value;
}

std::string TFuzzInput::Until(char separator) {
    const std::size_t end = text_.find(separator);
    std::string piece(text_.substr(0, end));
    text_.remove_prefix(end == std::string_view::npos ? text_.size() : end + 1);
    return piece;
}

std::string TFuzzInput::Rest() {
    std::string rest(text_);
    text_ = {};
    return rest;
}

const std::string& WorkFolder() {
    static const TWorkFolder folder;
    return folder.path;
}

void WriteWholeFile(const std::string& path, std::string_view content) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(content.data(), std::streamsize(content.size()));
    file.close();
    if (!file) {
        Stop("cannot write " + path);
    }
}

std::string FixturePath(const std::string& name) {
    const std::string path = FixtureDir() + "/" + name;
    std::error_code error;
    if (!std::filesystem::exists(path, error)) {
        Stop(path + " is missing: run scripts/make-fixtures " + FixtureDir());
    }
    return path;
}

void LoadMediaLibraries() {
    TLibraryLoader& loader = TLibraryLoader::Instance();
    if (!loader.LoadLibSet(ConverterLibraries)) {
        Stop("the media libraries cannot be loaded: " + loader.LastErrorText());
    }
}

} // namespace tessaro::fuzz
