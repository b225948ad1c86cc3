// Helpers shared by the engine tests: a temporary folder, the library file names and
// running programs.
#pragma once

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

#include "runtime/LibraryLoader.h"

#include <gtest/gtest.h>

namespace tessaro::test {

// A fresh folder under the system's temporary folder, removed with everything in it.
class TTempDir {
public:
    TTempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "tessaro-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("mkdtemp failed");
        }
        path_ = pattern;
    }
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;
    ~TTempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    const std::filesystem::path& Path() const { return path_; }
    std::string Str() const { return path_.string(); }

private:
    std::filesystem::path path_;
};

// Runs a shell command and returns what it writes on its standard output.
inline std::string RunCommand(const std::string& command) {
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    std::string output;
    std::array<char, 4096> buffer{};
    std::size_t count;
    while (pipe && (count = fread(buffer.data(), 1, buffer.size(), pipe.get())) > 0) {
        output.append(buffer.data(), count);
    }
    return output;
}

// Makes a source clip with the ffmpeg program from the arguments that follow its options
// ("-f lavfi -i ... out.mkv"); a failure fails the test with the program's complaint.
inline void MakeClip(const std::string& arguments) {
    const std::string complaint =
        RunCommand("ffmpeg -nostdin -v error -y " + arguments + " 2>&1 || echo failed");
    ASSERT_TRUE(complaint.empty()) << "ffmpeg " << arguments << "\n" << complaint;
}

// Loads the converter's libraries for a whole suite and unloads them afterwards, so
// suites that test loading itself start from nothing.
inline void LoadConverterLibraries() {
    ASSERT_TRUE(TLibraryLoader::Instance().LoadLibSet(ConverterLibraries))
        << TLibraryLoader::Instance().LastErrorText();
}
inline void UnloadConverterLibraries() {
    TLibraryLoader::Instance().UnloadLibSet(ConverterLibraries);
}

class TConverterLibrariesTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { LoadConverterLibraries(); }
    static void TearDownTestSuite() { UnloadConverterLibraries(); }
};

} // namespace tessaro::test
