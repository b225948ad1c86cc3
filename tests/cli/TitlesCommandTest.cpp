// tessaro-cli titles on the fixture disc and on locations that are no DVD.
#include "CliTestSupport.h"
#include "TestPaths.h"

#include <gtest/gtest.h>

#include <string>

using tessaro::test::FixtureDir;

namespace {

using tessaro::test::RunCli;
using TRun = tessaro::test::TCliRun;

TEST(TitlesCommand, ListsEveryTitleWithItsStreams) {
    for (const char* location : {"/dvd", "/dvd.iso"}) {
        const TRun run = RunCli("titles '" + FixtureDir() + std::string(location) + "'");
        EXPECT_EQ(run.status, 0) << run.output;
        EXPECT_EQ(run.output, "Title 1: 0:00:19.967, 720x480, MPEG-2, 3 chapters\n"
                              "  Audio 0x80: English\n"
                              "  Audio 0x81: French\n"
                              "  Subpicture 0x20: English\n"
                              "Title 2: 0:00:08.000, 720x480, MPEG-2, 2 chapters\n"
                              "  Audio 0x80: English\n"
                              "Title 3: 0:00:05.000, 720x480, MPEG-2, 1 chapter\n"
                              "  Audio 0x80: Unknown\n");
    }
}

TEST(TitlesCommand, FailsClearlyWithoutADvd) {
    const struct {
        std::string arguments;
        const char* message;
    } cases[] = {
        {"titles '" + FixtureDir() + "'", "is not a DVD: no DVD-Video titles found"},
        {"titles '" + FixtureDir() + "/audio.mp3'", "is not a DVD"},
        {"titles /no/such/disc", "\"/no/such/disc\" does not exist"},
        {"titles", "titles needs exactly one LOCATION"},
    };
    for (const auto& c : cases) {
        const TRun run = RunCli(c.arguments);
        EXPECT_EQ(run.status, 1) << c.arguments;
        EXPECT_NE(run.output.find(c.message), std::string::npos) << run.output;
    }
}

TEST(TitlesCommand, UnknownCommandShowsTheCommands) {
    const TRun run = RunCli("tilts x");
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.output.find("unknown command \"tilts\""), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("  titles LOCATION"), std::string::npos) << run.output;
}

} // namespace
