#include "EngineTestSupport.h"
#include "base/FileHelpers.h"
#include "base/TextHelpers.h"
#include "base/TimeTexts.h"

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

using namespace tessaro;
using tessaro::test::TTempDir;

TEST(TextHelpers, FormatFileSizeSteps) {
    const struct {
        std::int64_t size;
        const char* text;
    } table[] = {{0, "0 Byte"},           {1024, "1024 Byte"},
                 {1025, "1.00 KB"},       {1048576, "1024.00 KB"},
                 {1048577, "1.00 MB"},    {1073741824, "1024.00 MB"},
                 {1610612736, "1.50 GB"}, {std::int64_t(5) << 40, "5120.00 GB"},
                 {-5, "-5 Byte"}};
    for (const auto& row : table) {
        EXPECT_EQ(FormatFileSize(row.size), row.text) << row.size;
    }
}

TEST(TextHelpers, SplitFirstTakesTheHeadAndOptionallyTheSeparator) {
    const struct {
        const char* text;
        const char* separator;
        bool remove;
        const char* head;
        const char* rest;
    } table[] = {
        {"a=b=c", "=", true, "a", "b=c"},     {"a=b=c", "=", false, "a", "a=b=c"},
        {"abc", "=", true, "abc", ""},        {"abc", "=", false, "abc", "abc"},
        {"=x", "=", true, "", "x"},           {"x=", "=", true, "x", ""},
        {"a, b, c", ", ", true, "a", "b, c"}, {"abc", "", true, "abc", ""},
    };
    for (const auto& row : table) {
        std::string text = row.text;
        EXPECT_EQ(SplitFirst(text, row.separator, row.remove), row.head) << row.text;
        EXPECT_EQ(text, row.rest) << row.text;
    }
}

TEST(TimeTexts, TimeTextFormsHoursMinutesSecondsMilliseconds) {
    const struct {
        std::int64_t microseconds;
        const char* text;
    } table[] = {{3723004000, "01:02:03.004"}, {kNoTimeValue, "N/A"},
                 {0, "00:00:00.000"},          {999, "00:00:00.000"},
                 {59999999, "00:00:59.999"},   {360000000000, "100:00:00.000"},
                 {-1500000, "-00:00:01.500"},  {-21333, "-00:00:00.021"}};
    for (const auto& row : table) {
        EXPECT_EQ(TimeText(row.microseconds), row.text) << row.microseconds;
    }
}

TEST(TimeTexts, LengthAndPositionTextsOfPlayers) {
    struct TCase {
        std::int64_t microseconds;
        const char* length;
        const char* position;
    };
    const TCase cases[] = {
        {3726000000, "1:02:06", "01:02:06.000"},
        {3723040000, "1:02:03", "01:02:03.040"},
        {2500000, "0:00:02", "00:00:02.500"}, // halves round to even
        {3500000, "0:00:04", "00:00:03.500"},
        {3499999, "0:00:03", "00:00:03.499"}, // milliseconds are truncated
        {59999999, "0:01:00", "00:00:59.999"},
        {360000000000, "100:00:00", "100:00:00.000"}, // hours do not wrap
        {0, "0:00:00", "00:00:00.000"},
        {-1, "0:00:00", "00:00:00.000"}, // no value
        {-7000000, "0:00:00", "00:00:00.000"},
    };
    for (const TCase& c : cases) {
        EXPECT_EQ(RoundedLengthText(c.microseconds), c.length) << c.microseconds;
        EXPECT_EQ(PositionText(c.microseconds), c.position) << c.microseconds;
    }
}

TEST(TimeTexts, SecondsTextKeepsTheSignInFrontOfSmallAndLargeTimes) {
    const struct {
        std::int64_t microseconds;
        const char* text;
    } table[] = {
        {0, "0.000000"},
        {1, "0.000001"},
        {-1, "-0.000001"},
        {21333, "0.021333"},
        {-21333, "-0.021333"},
        {1500000, "1.500000"},
        {-1500000, "-1.500000"},
        {5400000000, "5400.000000"}, // beyond 32-bit microseconds
        {kNoTimeValue, "-9223372036854.775808"},
    };
    for (const auto& row : table) {
        EXPECT_EQ(SecondsText(row.microseconds), row.text) << row.microseconds;
    }
}

TEST(FileHelpers, ReadWholeFileTellsMissingFromUnreadable) {
    TTempDir dir;
    const std::string path = (dir.Path() / "bytes.bin").string();
    const std::string bytes("line\r\n\0binary\xff", 14);
    std::ofstream(path, std::ios::binary) << bytes;
    std::string content = "old";
    ASSERT_EQ(ReadWholeFile(path, content), TFileRead::Ok);
    EXPECT_EQ(content, bytes);

    const std::string empty = (dir.Path() / "empty").string();
    std::ofstream(empty, std::ios::binary).flush();
    ASSERT_EQ(ReadWholeFile(empty, content), TFileRead::Ok);
    EXPECT_EQ(content, "");

    content = "kept";
    EXPECT_EQ(ReadWholeFile((dir.Path() / "missing").string(), content), TFileRead::Missing);
    EXPECT_EQ(ReadWholeFile(path + "/below-a-file", content), TFileRead::Missing);
    EXPECT_EQ(ReadWholeFile(dir.Path().string(), content), TFileRead::Unreadable) << "a folder";
    EXPECT_EQ(content, "kept");
}

TEST(FileHelpers, ProgramFolderIsTheFolderOfTheRunningProgram) {
    const std::string folder = ProgramFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), '/');
    EXPECT_EQ(std::filesystem::path(folder),
              std::filesystem::read_symlink("/proc/self/exe").parent_path().concat("/"));
}
