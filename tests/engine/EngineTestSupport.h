// Helpers shared by the engine tests: a temporary folder and the library file names.
#pragma once

#include <cstdlib>
#include <filesystem>
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
