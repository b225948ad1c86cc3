// LeakSanitizer and unloaded libraries.
//
// The loader tests really unload the media libraries. Several libraries the media
// libraries depend on (OpenMP runtime, crypto, Unicode and codec libraries) allocate
// memory in their constructors that only their own globals point to and that they never
// free. Once such a library is unmapped, LeakSanitizer sees that memory as leaked and,
// with the code gone, cannot even name who allocated it. In sanitizer builds the tests
// therefore keep those dependencies mapped for the whole run (RTLD_NODELETE). The media
// libraries themselves are still loaded and unloaded for real, so leaks in them or in the
// engine are still reported.
#include "runtime/LibraryLoader.h"
#include "runtime/SharedLibraries.h"

#include <cstring>
#include <dlfcn.h>
#include <link.h>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#if defined(__SANITIZE_ADDRESS__)

namespace {

std::string BaseName(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
}

bool IsMediaLibrary(const std::string& name) {
    for (const char* prefix :
         {"libavcodec.", "libavformat.", "libavfilter.", "libavutil.", "libavdevice.",
          "libswscale.", "libswresample.", "libpostproc.", "libSDL2-"}) {
        if (name.rfind(prefix, 0) == 0) {
            return true;
        }
    }
    return false;
}

// Pinning a library pins what it depends on, so libraries that lead to a media library
// (directly or through others) are left alone: the media libraries must really unload.
std::set<std::string> LibrariesLeadingToMediaLibraries(const std::vector<std::string>& paths) {
    std::set<std::string> leading;
    for (const std::string& path : paths) {
        if (IsMediaLibrary(BaseName(path))) {
            leading.insert(BaseName(path));
        }
    }
    for (bool grown = true; grown;) {
        grown = false;
        for (const std::string& path : paths) {
            for (const std::string& needed : tessaro::NeededLibraries(path)) {
                if (leading.count(needed) != 0 && leading.insert(BaseName(path)).second) {
                    grown = true;
                }
            }
        }
    }
    return leading;
}

std::vector<std::string> LoadedLibraries() {
    std::vector<std::string> paths;
    dl_iterate_phdr(
        [](dl_phdr_info* info, std::size_t, void* data) {
            if (info->dlpi_name != nullptr && info->dlpi_name[0] == '/') {
                static_cast<std::vector<std::string>*>(data)->push_back(info->dlpi_name);
            }
            return 0;
        },
        &paths);
    return paths;
}

class TPinMediaDependencies : public ::testing::Environment {
public:
    void SetUp() override {
        auto& loader = tessaro::TLibraryLoader::Instance();
        ASSERT_TRUE(loader.LoadLibSet(tessaro::PlayerLibraries)) << loader.LastErrorText();
        const std::vector<std::string> loaded = LoadedLibraries();
        const std::set<std::string> leading = LibrariesLeadingToMediaLibraries(loaded);
        for (const std::string& path : loaded) {
            if (leading.count(BaseName(path)) == 0) {
                dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
            }
        }
        loader.UnloadLibSet(tessaro::PlayerLibraries);
    }
};

const auto* const pinned = ::testing::AddGlobalTestEnvironment(new TPinMediaDependencies);

} // namespace

#endif
