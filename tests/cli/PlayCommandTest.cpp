// tessaro-cli play on the fixture clips, with SDL's dummy drivers.
#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <string>
#include <sys/wait.h>

namespace {

struct TRun {
    std::string output; // standard output and standard error together
    int status = -1;
};

TRun RunPlay(const std::string& arguments) {
    TRun run;
    const std::string command = "SDL_AUDIODRIVER=dummy SDL_VIDEODRIVER=dummy " TESSARO_BIN_DIR
                                "/tessaro-cli play " +
                                arguments + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return run;
    }
    char buffer[4096];
    std::size_t count = 0;
    while ((count = fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        run.output.append(buffer, count);
    }
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

std::string Fixture(const std::string& name) {
    return "'" TESSARO_FIXTURE_DIR "/" + name + "'";
}

TEST(PlayCommand, PrintsOpenPositionsAndStatesUntilTheTimeIsUp) {
    const TRun run = RunPlay(Fixture("h264_aac.mp4") + " --seconds 1");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.output.rfind("open: duration 00:00:12.000, 320x240\nstate: play\n", 0), 0u)
        << run.output;
    EXPECT_TRUE(std::regex_search(run.output, std::regex("position: 00:00:00\\.[5-9]")))
        << run.output;
    EXPECT_EQ(run.output.substr(run.output.size() - 12), "state: stop\n") << run.output;
}

TEST(PlayCommand, SeeksAndStopsAtTheEnd) {
    const TRun run = RunPlay(Fixture("h264_aac.mp4") + " --seek 11");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_TRUE(std::regex_search(run.output, std::regex("position: 00:00:1[01]\\.")))
        << run.output;
    EXPECT_NE(run.output.find("position: 00:00:12.000\nstate: end\n"), std::string::npos)
        << run.output;
}

TEST(PlayCommand, ReportsWhatCannotBePlayed) {
    const TRun missing = RunPlay(Fixture("missing.mp4"));
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.output.find("missing.mp4: No such file or directory"), std::string::npos)
        << missing.output;
    const TRun noTime = RunPlay(Fixture("h264_aac.mp4") + " --seconds");
    EXPECT_EQ(noTime.status, 1);
    EXPECT_NE(noTime.output.find("--seconds needs a number of seconds"), std::string::npos);
}

TEST(PlayCommand, PlaysADvdTitle) {
    const TRun run = RunPlay("'opendvd:" TESSARO_FIXTURE_DIR "/dvd|Title=2' --seconds 1");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.output.rfind("open: duration ", 0), 0u) << run.output;
    EXPECT_NE(run.output.find(", 720x480\nstate: play\n"), std::string::npos) << run.output;
}

} // namespace
