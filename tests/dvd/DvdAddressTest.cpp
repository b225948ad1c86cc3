// The "opendvd:" address: building, parsing, and the checks against a disc's titles.
#include "dvdinput/DvdAddress.h"
#include "base/EngineException.h"

#include <gtest/gtest.h>

#include <cstring>

namespace tessaro::test {
namespace {

bool SameParam(const TDVDParam& a, const TDVDParam& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// The text of the EngineException that action throws; empty when it throws none.
template <typename Action> std::string ErrorOf(Action action) {
    try {
        action();
    } catch (const EngineException& e) {
        return e.what();
    }
    return {};
}

TEST(DvdAddress, BuildsTheFullFormWithTheTitleCountedFromOne) {
    const TDVDParam param = {0, 2, 5, 129, 33, 2, 0};
    const std::string address = MakeDvdAddress("D:", param);
    EXPECT_EQ(address, "opendvd:D:|Title=1,FromChapter=2,ToChapter=5,AudioID=129,SubtitleID=33,"
                       "AudioChannels=2,Deinterlace=0");
    const TDvdAddress parsed = ParseDvdAddress(address);
    EXPECT_EQ(parsed.location, "D:");
    ASSERT_TRUE(parsed.param);
    EXPECT_TRUE(SameParam(*parsed.param, param));
}

TEST(DvdAddress, LocationEndsAtTheLastBar) {
    const TDVDParam param = {2, 0, 99, 128, 32, 2, 1};
    const TDvdAddress full = ParseDvdAddress(MakeDvdAddress("/media/a|b c", param));
    EXPECT_EQ(full.location, "/media/a|b c");
    ASSERT_TRUE(full.param);
    EXPECT_TRUE(SameParam(*full.param, param));

    const struct {
        std::string location;
        std::string address;
    } shortForms[] = {{"/dev/sr0", "opendvd:/dev/sr0"},
                      {"/media/a|b", "opendvd:/media/a|b|"},
                      {"/home/u/Film.iso", "opendvd:/home/u/Film.iso"}};
    for (const auto& form : shortForms) {
        EXPECT_EQ(MakeDvdAddress(form.location), form.address);
        const TDvdAddress parsed = ParseDvdAddress(form.address);
        EXPECT_EQ(parsed.location, form.location);
        EXPECT_FALSE(parsed.param) << form.address;
    }
    EXPECT_TRUE(IsDvdAddress("opendvd:D:"));
    EXPECT_FALSE(IsDvdAddress("/media/opendvd:D:"));
}

TEST(DvdAddress, LeftOutFieldsTakeTheWholeTitleDefaults) {
    const TDvdAddress parsed = ParseDvdAddress("opendvd:/dvd|Deinterlace=1,Title=2");
    ASSERT_TRUE(parsed.param);
    EXPECT_TRUE(SameParam(*parsed.param, TDVDParam{1, 0, DVD_LAST_CHAPTER, 128, 0, 2, 1}));
}

TEST(DvdAddress, MalformedAddressesNameTheFault) {
    const struct {
        const char* address;
        const char* text;
    } cases[] = {
        {"file:/dvd", "\"file:/dvd\" is not a DVD address"},
        {"opendvd:", "names no DVD location"},
        {"opendvd:|Title=1", "names no DVD location"},
        {"opendvd:D:|Titel=1", "Unknown field \"Titel\" in the DVD address \"opendvd:D:|Titel=1\""},
        {"opendvd:D:|Title=1, FromChapter=2", "Unknown field \" FromChapter\""},
        {"opendvd:D:|Title=1,ToChapter=3,ToChapter=4", "The field ToChapter appears twice"},
        {"opendvd:D:|Title=one", "field Title of the DVD address \"opendvd:D:|Title=one\" has the "
                                 "value \"one\", which is not a decimal number"},
        {"opendvd:D:|Title=1,AudioID=0x80", "value \"0x80\", which is not a decimal number"},
        {"opendvd:D:|Title=-1", "value \"-1\", which is not a decimal number"},
        {"opendvd:D:|Title=1,FromChapter=", "value \"\", which is not a decimal number"},
        {"opendvd:D:|Title=4294967297", "not a decimal number"},
        {"opendvd:D:|Title=1,,ToChapter=2", "The part \"\" of the DVD address"},
        {"opendvd:D:|Title", "The part \"Title\" of the DVD address \"opendvd:D:|Title\" is not "
                             "written as Name=Value"},
        {"opendvd:D:|FromChapter=1,ToChapter=2", "has no Title field"},
    };
    for (const auto& c : cases) {
        const std::string error = ErrorOf([&] { ParseDvdAddress(c.address); });
        EXPECT_NE(error.find(c.text), std::string::npos)
            << c.address << " gave \"" << error << "\"";
    }
}

TEST(DvdAddress, ChoicesOutsideTheDiscAreRefused) {
    TDVDTitleInfo title{};
    title.ChapterCount = 3;
    const struct {
        TDVDParam param;
        const char* text; // empty: accepted
    } cases[] = {
        {{0, 0, 99, 128, 0, 2, 0}, ""},
        {{2, 1, 3, 128, 0, 2, 0}, ""},
        {{0, 3, 3, 128, 0, 2, 0}, ""},
        {{3, 0, 99, 128, 0, 2, 0}, "Title 4 is not on the DVD (it has 3 titles)"},
        {{-1, 0, 99, 128, 0, 2, 0}, "Title 0 is not on the DVD (it has 3 titles)"},
        {{0, 4, 99, 128, 0, 2, 0}, "FromChapter 4 is not a chapter of title 1 (3 chapters)"},
        {{1, 1, 4, 128, 0, 2, 0}, "ToChapter 4 is not a chapter of title 2 (3 chapters)"},
        {{0, 2, 0, 128, 0, 2, 0}, "ToChapter 0 is not a chapter of title 1 (3 chapters)"},
        {{0, 3, 2, 128, 0, 2, 0}, "FromChapter 3 lies after ToChapter 2"},
    };
    for (const auto& c : cases) {
        const std::string error = ErrorOf([&] {
            CheckDvdTitleRange(c.param, 3);
            CheckDvdChapterRange(c.param, title);
        });
        EXPECT_EQ(error, c.text);
    }
}

} // namespace
} // namespace tessaro::test
