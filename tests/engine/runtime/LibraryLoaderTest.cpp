#include "runtime/LibraryLoader.h"
#include "EngineTestSupport.h"
#include "TestPaths.h"
#include "runtime/Bindings.h"

#include <cstring>
#include <dlfcn.h>
#include <link.h>

#include <gtest/gtest.h>

using tessaro::test::TestBinDir;

using namespace tessaro;
using tessaro::test::TTempDir;
namespace fs = std::filesystem;

namespace {

constexpr TLibrarySet AllLibraries = 0xFF;

// The file a function was loaded from.
template <typename Function> std::string OwnerOf(Function* function) {
    Dl_info info{};
    void* address = nullptr;
    static_assert(sizeof address == sizeof function);
    std::memcpy(&address, &function, sizeof address);
    return dladdr(address, &info) != 0 && info.dli_fname != nullptr ? info.dli_fname : "";
}

// Where the system search finds a library.
std::string SystemLibraryPath(const std::string& fileName) {
    void* handle = dlopen(fileName.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        return {};
    }
    link_map* map = nullptr;
    std::string path;
    if (dlinfo(handle, RTLD_DI_LINKMAP, &map) == 0 && map != nullptr) {
        path = fs::canonical(map->l_name).string();
    }
    dlclose(handle);
    return path;
}

// Copies the system's library of a kind into dir under its loader file name.
std::string CopyIntoFolder(TLibraryKind kind, const TTempDir& dir) {
    const std::string fileName = TLibraryLoader::Instance().LibFileName(kind);
    const fs::path target = dir.Path() / fileName;
    fs::copy_file(SystemLibraryPath(fileName), target);
    return target.string();
}

int loadedHookCalls = 0;
void CountLoadedHook(TLibraryKind) {
    ++loadedHookCalls;
}

class LibraryLoaderTest : public ::testing::Test {
protected:
    void TearDown() override {
        loader.UnloadLibSet(AllLibraries);
        loader.SetLibraryDir("");
        for (int kind = 0; kind < LibraryKindCount; ++kind) {
            loader.SetFileNameOverride(TLibraryKind(kind), "");
        }
        loader.SetLoadedHook(nullptr);
    }

    void ExpectNothingLoaded() const {
        for (int kind = 0; kind < LibraryKindCount; ++kind) {
            EXPECT_FALSE(loader.IsLibLoaded(TLibraryKind(kind))) << "kind " << kind;
        }
        EXPECT_EQ(ff::avcodec_version, nullptr);
        EXPECT_EQ(ff::av_log, nullptr);
        EXPECT_EQ(ff::swscale_version, nullptr);
        EXPECT_EQ(ff::swr_alloc, nullptr);
    }

    TLibraryLoader& loader = TLibraryLoader::Instance();
};

} // namespace

TEST_F(LibraryLoaderTest, LoadsConverterLibrariesFromTheSystem) {
    ASSERT_TRUE(loader.LoadLibSet(ConverterLibraries)) << loader.LastErrorText();
    EXPECT_TRUE(loader.IsLibSetLoaded(ConverterLibraries));
    EXPECT_FALSE(loader.IsLibLoaded(TLibraryKind::libSDL));
    ASSERT_NE(ff::avcodec_version, nullptr);
    EXPECT_EQ(ff::avcodec_version() >> 16, unsigned(LIBAVCODEC_VERSION_MAJOR));
    EXPECT_EQ(fs::path(OwnerOf(ff::avformat_version)).filename(), "libavformat.so.59");
    loader.UnloadLibSet(ConverterLibraries);
    EXPECT_FALSE(loader.IsLibSetLoaded(ConverterLibraries));
    EXPECT_EQ(ff::avcodec_version, nullptr);
}

TEST_F(LibraryLoaderTest, LoadingASetTwiceLeavesTheModulesAlone) {
    loader.SetLoadedHook(&CountLoadedHook);
    loadedHookCalls = 0;
    ASSERT_TRUE(loader.LoadLibSet(ConverterLibraries)) << loader.LastErrorText();
    EXPECT_EQ(loadedHookCalls, 6);
    const auto avLog = ff::av_log;
    ASSERT_TRUE(loader.LoadLibSet(ConverterLibraries));
    EXPECT_EQ(loadedHookCalls, 6);
    EXPECT_EQ(ff::av_log, avLog);
}

TEST_F(LibraryLoaderTest, LibraryInTheFolderIsLoadedByFullPathOthersFromTheSystem) {
    TTempDir dir;
    const std::string copiedAvutil = CopyIntoFolder(TLibraryKind::libAVUtil, dir);
    loader.SetLibraryDir(dir.Str());
    ASSERT_TRUE(loader.LoadLibSet(ConverterLibraries)) << loader.LastErrorText();
    EXPECT_EQ(OwnerOf(ff::av_log), copiedAvutil);
    const std::string avcodecOwner = OwnerOf(ff::avcodec_version);
    EXPECT_FALSE(avcodecOwner.empty());
    EXPECT_EQ(avcodecOwner.find(dir.Str()), std::string::npos) << avcodecOwner;
}

TEST_F(LibraryLoaderTest, FolderLibrariesUseTheFoldersCopiesOfTheirDependencies) {
    TTempDir dir;
    const std::string copiedAvutil = CopyIntoFolder(TLibraryKind::libAVUtil, dir);
    CopyIntoFolder(TLibraryKind::libSwResample, dir);
    const std::string copiedAvcodec = CopyIntoFolder(TLibraryKind::libAVCodec, dir);
    loader.SetLibraryDir(dir.Str() + "/");
    ASSERT_TRUE(loader.LoadLibSet(ConverterLibraries)) << loader.LastErrorText();
    EXPECT_EQ(OwnerOf(ff::avcodec_version), copiedAvcodec);
    EXPECT_EQ(OwnerOf(ff::av_log), copiedAvutil);

    // avcodec was loaded before avutil (kind order), yet it is bound to the folder's avutil.
    void* avcodec = dlopen(copiedAvcodec.c_str(), RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(avcodec, nullptr);
    void* avMallocSeenByAvcodec = dlsym(avcodec, "av_malloc");
    dlclose(avcodec);
    Dl_info info{};
    ASSERT_NE(dladdr(avMallocSeenByAvcodec, &info), 0);
    EXPECT_EQ(std::string(info.dli_fname), copiedAvutil);
}

TEST_F(LibraryLoaderTest, MissingFunctionFailsAndUnloadsTheWholeSet) {
    TTempDir dir;
    const std::string swscaleName = loader.LibFileName(TLibraryKind::libSwScale);
    fs::copy_file(TestBinDir() + "/stub/libengine_test_stub_swscale.so", dir.Path() / swscaleName);
    loader.SetLibraryDir(dir.Str());

    EXPECT_FALSE(loader.LoadLibSet(ConverterLibraries));
    const std::string expected = "Load function sws_getContext@" + swscaleName + " error: ";
    EXPECT_EQ(loader.LastErrorText().substr(0, expected.size()), expected)
        << loader.LastErrorText();
    EXPECT_NE(loader.LastErrorText().find("undefined symbol: sws_getContext"), std::string::npos);
    ExpectNothingLoaded();
}

TEST_F(LibraryLoaderTest, MissingLibraryFallsBackToTheSystemThenReportsThePathTried) {
    TTempDir dir;
    loader.SetLibraryDir(dir.Str());
    loader.SetFileNameOverride(TLibraryKind::libSwScale, "libtessaro-missing.so.1");

    EXPECT_FALSE(loader.LoadLibSet(ConverterLibraries));
    EXPECT_EQ(loader.LastErrorText(),
              "Load library " + dir.Str() +
                  "/libtessaro-missing.so.1 error: libtessaro-missing.so.1: cannot open shared "
                  "object file: No such file or directory");
    ExpectNothingLoaded();

    // A later success keeps the text of the last failure.
    loader.SetFileNameOverride(TLibraryKind::libSwScale, "");
    const std::string failure = loader.LastErrorText();
    ASSERT_TRUE(loader.LoadLibSet(ConverterLibraries)) << loader.LastErrorText();
    EXPECT_EQ(loader.LastErrorText(), failure);
}

TEST_F(LibraryLoaderTest, FileNamesFollowTheSystemsSonames) {
    EXPECT_EQ(loader.LibFileName(TLibraryKind::libAVCodec), "libavcodec.so.59");
    EXPECT_EQ(loader.LibFileName(TLibraryKind::libAVFormat), "libavformat.so.59");
    EXPECT_EQ(loader.LibFileName(TLibraryKind::libAVFilter), "libavfilter.so.8");
    EXPECT_EQ(loader.LibFileName(TLibraryKind::libAVUtil), "libavutil.so.57");
    EXPECT_EQ(loader.LibFileName(TLibraryKind::libSwScale), "libswscale.so.6");
    EXPECT_EQ(loader.LibFileName(TLibraryKind::libSwResample), "libswresample.so.4");
    EXPECT_EQ(loader.LibFileName(TLibraryKind::libSDL), "libSDL2-2.0.so.0");
    loader.SetFileNameOverride(TLibraryKind::libSDL, "/opt/sdl/libSDL2.so");
    EXPECT_EQ(loader.LibFileName(TLibraryKind::libSDL), "/opt/sdl/libSDL2.so");
}
