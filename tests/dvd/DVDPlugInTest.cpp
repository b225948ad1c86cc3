// The binding to the DVD plug-in library: loading with its failure paths, the calls, and the
// hand-over of the title-stream functions to the engine. The failure tests come first: once
// loaded, the library stays for the rest of the process.
#include "DVDPlugIn.h"
#include "EngineTestSupport.h"
#include "TestPaths.h"
#include "base/EngineException.h"
#include "dvdinput/DvdTitleStream.h"

#include <gtest/gtest.h>

#include <cstring>

namespace tessaro::test {
namespace {

const std::string DvdFolder = FixtureDir() + "/dvd";

void ExpectCallsRefused() {
    TDVDTitleInfo info{};
    for (const auto& call : {std::function<void()>([] { DVDEnumTitle(DvdFolder); }),
                             std::function<void()>([&] { DVDGetTitle(0, info); }),
                             std::function<void()>([] { DVDSetParam(TDVDParam{}); })}) {
        try {
            call();
            ADD_FAILURE() << "no exception";
        } catch (const EngineException& e) {
            EXPECT_STREQ(e.what(), "DVD plug-in library is not loaded.");
        }
    }
}

TEST(DVDPlugIn, CallsBeforeLoadingRaise) {
    ASSERT_FALSE(IsDVDPlugInLoaded());
    ExpectCallsRefused();
}

TEST(DVDPlugIn, FailedLoadsLeaveItUnloaded) {
    TTempDir empty;
    const std::string folders[] = {empty.Str(), TestBinDir() + "/fake-dvd-plugin/refusing",
                                   TestBinDir() + "/fake-dvd-plugin/incomplete", ""};
    for (const std::string& folder : folders) {
        EXPECT_FALSE(LoadDVDPlugIn(folder)) << folder;
        EXPECT_FALSE(IsDVDPlugInLoaded());
    }
    ExpectCallsRefused();
    EXPECT_FALSE(DvdStreamFunctionsSet());
}

TEST(DVDPlugIn, LoadsOnceAndDescribesTheDisc) {
    ASSERT_TRUE(LoadDVDPlugIn(LibAvDir()));
    EXPECT_TRUE(IsDVDPlugInLoaded());
    EXPECT_TRUE(LoadDVDPlugIn("/no/such/folder")) << "a second load must not touch the library";
    EXPECT_TRUE(DvdStreamFunctionsSet());

    ASSERT_EQ(DVDEnumTitle(DvdFolder), 3);
    TDVDTitleInfo info;
    std::memset(&info, 0xa5, sizeof info);
    ASSERT_TRUE(DVDGetTitle(2, info));
    EXPECT_EQ(info.ChapterCount, 1);
    EXPECT_EQ(info.SubtitleCount, 0);
    // Everything the plug-in does not fill reads as zero: the binding cleared the record.
    const auto* bytes = reinterpret_cast<const unsigned char*>(&info);
    for (std::size_t i = offsetof(TDVDTitleInfo, Subtitle); i < sizeof info; ++i) {
        if (i < offsetof(TDVDTitleInfo, ChapterCount) ||
            i >= offsetof(TDVDTitleInfo, ChapterCount) + 4) {
            ASSERT_EQ(bytes[i], 0) << "byte " << i;
        }
    }
    EXPECT_FALSE(DVDGetTitle(3, info));
    EXPECT_LT(DVDEnumTitle(FixtureDir().c_str()), 1);
}

TEST(DVDPlugIn, SetParamChoosesWhatTheShortAddressPlays) {
    ASSERT_TRUE(LoadDVDPlugIn(LibAvDir()));
    DVDSetParam(TDVDParam{1, 2, 2, 128, 32, 2, 0});
    const auto stream = TDvdTitleStream::Open(ParseDvdAddress(MakeDvdAddress(DvdFolder)));
    EXPECT_EQ(stream->Param().Title, 1);
    EXPECT_EQ(stream->Info().FirstChapter, 2);
    EXPECT_EQ(stream->Info().LastChapter, 2);
    EXPECT_GT(stream->Size(), 0);

    try {
        TDvdTitleStream::Open(ParseDvdAddress("opendvd:" + DvdFolder + "|Title=9"));
        ADD_FAILURE() << "no exception";
    } catch (const EngineException& e) {
        EXPECT_STREQ(e.what(), "Title 9 is not on the DVD (it has 3 titles)");
    }
}

TEST(DVDPlugIn, FormatNames) {
    const std::pair<int, const char*> names[] = {
        {1, "MPEG-1"}, {2, "MPEG-2"}, {3, "MPA"},     {4, "AC3"},     {5, "DTS"},
        {6, "LPCM"},   {7, "SUB"},    {0, "Unknown"}, {8, "Unknown"}, {-1, "Unknown"}};
    for (const auto& [code, name] : names) {
        EXPECT_EQ(DVDFormatName(code), name) << code;
    }
}

} // namespace
} // namespace tessaro::test
