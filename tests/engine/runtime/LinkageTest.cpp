// The executables must not link the media libraries or SDL: those are loaded at run time.
#include "EngineTestSupport.h"
#include "TestPaths.h"

#include <array>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <unistd.h>

#include <gtest/gtest.h>

using tessaro::test::BinDir;

namespace fs = std::filesystem;

namespace {

std::string LddOutput(const fs::path& executable) {
    struct PipeCloser {
        void operator()(FILE* pipe) const { pclose(pipe); }
    };
    const std::string command = "ldd '" + executable.string() + "' 2>&1";
    std::unique_ptr<FILE, PipeCloser> pipe(popen(command.c_str(), "r"));
    std::string output;
    std::array<char, 4096> chunk{};
    while (pipe && std::fgets(chunk.data(), int(chunk.size()), pipe.get()) != nullptr) {
        output += chunk.data();
    }
    return output;
}

void ExpectNoMediaLibraries(const fs::path& executable) {
    const std::string output = LddOutput(executable);
    ASSERT_NE(output.find("libc.so"), std::string::npos) << executable << ":\n" << output;
    for (const char* library : {"libavcodec", "libavformat", "libavfilter", "libavutil",
                                "libavdevice", "libswscale", "libswresample", "libSDL"}) {
        EXPECT_EQ(output.find(library), std::string::npos)
            << executable << " links " << library << ":\n"
            << output;
    }
}

bool IsExecutableFile(const fs::directory_entry& entry) {
    return entry.is_regular_file() && access(entry.path().c_str(), X_OK) == 0;
}

} // namespace

TEST(Linkage, TestProgramDoesNotLinkMediaLibraries) {
    ExpectNoMediaLibraries(fs::read_symlink("/proc/self/exe"));
}

TEST(Linkage, BuiltProgramsDoNotLinkMediaLibraries) {
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(BinDir(), error)) {
        if (IsExecutableFile(entry)) {
            SCOPED_TRACE(entry.path().string());
            ExpectNoMediaLibraries(entry.path());
        }
    }
}
