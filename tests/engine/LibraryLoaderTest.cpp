#include "Bindings.h"
#include "LibraryLoader.h"

#include <gtest/gtest.h>

using namespace tessaro;

TEST(LibraryLoader, LoadsConverterLibrariesFromTheSystem) {
    auto& loader = TLibraryLoader::Instance();
    loader.SetLibraryDir("");
    ASSERT_TRUE(loader.LoadLibSet(ConverterLibraries)) << loader.LastErrorText();
    EXPECT_TRUE(loader.IsLibSetLoaded(ConverterLibraries));
    ASSERT_NE(ff::avcodec_version, nullptr);
    EXPECT_EQ(ff::avcodec_version() >> 16, unsigned(LIBAVCODEC_VERSION_MAJOR));
    loader.UnloadLibSet(ConverterLibraries);
    EXPECT_EQ(ff::avcodec_version, nullptr);
}
