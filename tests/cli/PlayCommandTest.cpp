// tessaro-cli play on the fixture clips, with SDL's dummy drivers.
#include "CliTestSupport.h"
#include "TestPaths.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>

using tessaro::test::FixtureDir;

namespace {

using tessaro::test::RunCli;
using tessaro::test::TCliRun;

// The tests run with SDL's dummy drivers in their environment, which the program inherits.
TCliRun RunPlay(const std::string& arguments) {
    return RunCli("play " + arguments);
}

std::string Fixture(const std::string& name) {
    return "'" + FixtureDir() + "/" + name + "'";
}

TEST(PlayCommand, PrintsOpenPositionsAndStatesUntilTheTimeIsUp) {
    const TCliRun run = RunPlay(Fixture("h264_aac.mp4") + " --seconds 1");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.output.rfind("open: duration 00:00:12.000, 320x240\nstate: play\n", 0), 0u)
        << run.output;
    EXPECT_TRUE(std::regex_search(run.output, std::regex("position: 00:00:00\\.[5-9]")))
        << run.output;
    EXPECT_EQ(run.output.substr(run.output.size() - 12), "state: stop\n") << run.output;
}

TEST(PlayCommand, SeeksAndStopsAtTheEnd) {
    const TCliRun run = RunPlay(Fixture("h264_aac.mp4") + " --seek 11");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_TRUE(std::regex_search(run.output, std::regex("position: 00:00:1[01]\\.")))
        << run.output;
    EXPECT_NE(run.output.find("position: 00:00:12.000\nstate: end\n"), std::string::npos)
        << run.output;
}

TEST(PlayCommand, ReportsWhatCannotBePlayed) {
    const TCliRun missing = RunPlay(Fixture("missing.mp4"));
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.output.find("missing.mp4: No such file or directory"), std::string::npos)
        << missing.output;
    const TCliRun noTime = RunPlay(Fixture("h264_aac.mp4") + " --seconds");
    EXPECT_EQ(noTime.status, 1);
    EXPECT_NE(noTime.output.find("--seconds needs a number of seconds"), std::string::npos);
}

TEST(PlayCommand, PlaysADvdTitle) {
    const TCliRun run = RunPlay("'opendvd:" + FixtureDir() + "/dvd|Title=2' --seconds 1");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.output.rfind("open: duration ", 0), 0u) << run.output;
    EXPECT_NE(run.output.find(", 720x480\nstate: play\n"), std::string::npos) << run.output;
}

} // namespace
