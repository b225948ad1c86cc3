// The run's Qt-free rules: remaining-time estimates over throughput traces, the figures the
// progress window shows, where the live picture is drawn, the end-of-batch rules and the
// power-off command.
#include "AppTestSupport.h"
#include "converter/Converter.h"
#include "run/PowerOff.h"
#include "run/RunEta.h"
#include "run/RunFigures.h"
#include "run/RunOutcome.h"

#include <gtest/gtest.h>

#include <functional>

namespace tessaro {
namespace {

constexpr std::int64_t Second = 1'000'000;

std::int64_t Us(double seconds) {
    return std::int64_t(seconds * 1e6 + 0.5);
}

// A throughput trace: reports every half second of wall time between from and to, the media
// converted at each moment given by done(t).
struct TReports {
    int task;
    double from;
    double to;
    std::function<double(double)> done;
    double total; // seconds; 0 or less: unknown
};

void Feed(TRunEta& eta, const TReports& reports) {
    for (double t = reports.from; t <= reports.to + 1e-9; t += 0.5) {
        eta.Report(reports.task, Us(reports.done(t)), Us(reports.total), Us(t));
    }
}

std::optional<double> Seconds(std::optional<std::int64_t> time) {
    if (!time) {
        return std::nullopt;
    }
    return double(*time) / 1e6;
}

TEST(RunEta, EstimatesFollowTheMeasuredThroughput) {
    struct TCase {
        const char* name;
        std::vector<std::int64_t> planned;
        std::function<void(TRunEta&)> trace;
        double end;
        std::optional<double> task;
        std::optional<double> batch;
        double elapsed;
    };
    const auto steady = [](double t) { return 2 * t; };
    const TCase cases[] = {
        {"steady at twice real time",
         {60 * Second, 30 * Second},
         [&](TRunEta& eta) {
             Feed(eta, {0, 0.5, 10, steady, 60});
         },
         10,
         20.0,
         35.0,
         10},
        {"paused mid-way: the pause counts nowhere",
         {60 * Second, 30 * Second},
         [&](TRunEta& eta) {
             Feed(eta, {0, 0.5, 5, steady, 60});
             eta.Pause(Us(5));
             eta.Resume(Us(35));
             Feed(eta, {0, 35.5, 40, [](double t) { return 2 * (t - 30); }, 60});
         },
         40,
         20.0,
         35.0,
         10},
        {"speeding up: the last ten seconds count",
         {60 * Second, 30 * Second},
         [&](TRunEta& eta) {
             Feed(eta, {0, 0.5, 10, [](double t) { return t; }, 60});
             Feed(eta, {0, 10.5, 20, [](double t) { return 10 + 3 * (t - 10); }, 60});
         },
         20,
         20.0 / 3,
         50.0 / 3,
         20},
        {"total unknown",
         {0, 30 * Second},
         [&](TRunEta& eta) {
             Feed(eta, {0, 0.5, 10, steady, -1});
         },
         10,
         std::nullopt,
         std::nullopt,
         10},
        {"a stopped task is not waited for",
         {60 * Second, 30 * Second},
         [&](TRunEta& eta) {
             Feed(eta, {0, 0.5, 10, steady, 60});
             eta.TaskEnded(0, Us(10));
             Feed(eta, {1, 10.5, 12, [](double t) { return 2 * (t - 10); }, 30});
         },
         12,
         13.0,
         13.0,
         12},
        {"too early to tell",
         {60 * Second},
         [&](TRunEta& eta) {
             Feed(eta, {0, 0.5, 0.5, steady, 60});
         },
         0.5,
         std::nullopt,
         std::nullopt,
         0.5},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        TRunEta eta(c.planned, 0);
        c.trace(eta);
        const std::optional<double> task = Seconds(eta.TaskRemaining());
        const std::optional<double> batch = Seconds(eta.BatchRemaining());
        ASSERT_EQ(task.has_value(), c.task.has_value());
        ASSERT_EQ(batch.has_value(), c.batch.has_value());
        if (c.task) {
            EXPECT_NEAR(*task, *c.task, 0.01);
            EXPECT_NEAR(*batch, *c.batch, 0.01);
        }
        EXPECT_NEAR(double(eta.Elapsed(Us(c.end))) / 1e6, c.elapsed, 1e-6);
    }
}

TEST(RunEta, ElapsedStandsStillWhilePaused) {
    TRunEta eta({60 * Second}, Us(100));
    eta.Pause(Us(103));
    EXPECT_TRUE(eta.Paused());
    EXPECT_EQ(eta.Elapsed(Us(150)), 3 * Second);
    eta.Resume(Us(160));
    EXPECT_EQ(eta.Elapsed(Us(161)), 4 * Second);
}

TEST(RunFigures, PercentAndTextsOfAReport) {
    const struct {
        std::int64_t current;
        std::int64_t total;
        std::optional<int> percent;
    } percents[] = {{37 * Second, 100 * Second, 37},
                    {Us(59.9), 60 * Second, 99},
                    {61 * Second, 60 * Second, 100},
                    {5 * Second, 0, std::nullopt},
                    {5 * Second, -1, std::nullopt}};
    for (const auto& p : percents) {
        EXPECT_EQ(ProgressPercent(p.current, p.total), p.percent) << p.current << "/" << p.total;
    }

    TProgressInfo info;
    info.TaskIndex = 1;
    info.CurrentDuration = Us(12.7);
    info.TotalDuration = Us(60.2);
    info.CurrentSize = 1534999;
    TProgressFigures figures = FiguresOf(info, 3, "/media/clip.mpg");
    EXPECT_EQ(figures.Percent, 21);
    EXPECT_EQ(figures.Time, "12 Second");
    EXPECT_EQ(figures.Length, "60 Second");
    EXPECT_EQ(figures.Size, "1534 kb");
    EXPECT_EQ(figures.Progress, "[2/3]");
    EXPECT_EQ(figures.File, "/media/clip.mpg");

    // A report without a known length shows time and size, no percentage and no length.
    info.TotalDuration = 0;
    figures = FiguresOf(info, 3, "/media/clip.mpg");
    EXPECT_FALSE(figures.Percent);
    EXPECT_EQ(figures.Time, "12 Second");
    EXPECT_EQ(figures.Length, "");
    EXPECT_EQ(figures.Size, "1534 kb");
}

TEST(RunFigures, LongPathsAndLengths) {
    const std::string sixty = std::string(56, 'a') + ".avi";
    EXPECT_EQ(ShortFileText(sixty), std::string(44, 'a') + "...avi");
    const std::string fifty = std::string(46, 'b') + ".mpg";
    EXPECT_EQ(ShortFileText(fifty), fifty);
    EXPECT_EQ(ShortFileText(std::string(51, 'c')), std::string(44, 'c') + "..");

    EXPECT_EQ(LengthText(0), "0:00:00");
    EXPECT_EQ(LengthText(Us(65.9)), "0:01:05");
    EXPECT_EQ(LengthText(3661 * Second), "1:01:01");
    EXPECT_EQ(LengthText(36000 * Second), "10:00:00");
    EXPECT_EQ(LengthText(-5 * Second), "0:00:00");

    const TRunTimes times = RunTimesOf(75 * Second, 20 * Second, std::nullopt);
    EXPECT_EQ(times.Elapsed, "0:01:15");
    EXPECT_EQ(times.TaskRemaining, "0:00:20");
    EXPECT_EQ(times.BatchRemaining, "unknown");
}

TEST(RunFigures, FrameFitsTheLargestCentredRectangle) {
    const struct {
        int width;
        int height;
        TFitRect fit;
    } cases[] = {
        {720, 405, {17, 0, 354, 199}},  // a = 1.856 < b = 2.035: full height
        {640, 480, {61, 0, 266, 199}},  // 4:3
        {1920, 800, {0, 19, 388, 161}}, // wide: full width
        {388, 198, {0, 0, 388, 199}},   // margin 0.5 rounds to the even 0
        {388, 196, {0, 2, 388, 195}},   // margin 1.5 rounds to the even 2
        {388, 199, {0, 0, 388, 199}},   {0, 199, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
        EXPECT_EQ(FitFrame(c.width, c.height, 388, 199), c.fit);
    }
}

TEST(RunOutcome, EndOfBatchActionsAndNotice) {
    const struct {
        TRunOutcome outcome;
        bool ranToEnd;
        bool openFolder;
        const char* summary;
        const char* body;
    } cases[] = {
        {{3, 3, 0, 0, false}, true, true, "Conversion finished", "3 files written."},
        {{3, 2, 1, 2, false}, true, true, "Conversion finished", "2 files written, 3 failed."},
        {{1, 0, 1, 0, false}, true, false, "Conversion finished", "0 files written, 1 failed."},
        {{3, 1, 0, 0, true}, false, false, "Conversion stopped", "1 file written."},
        {{0, 0, 0, 2, false}, false, false, "Conversion finished", "0 files written, 2 failed."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body);
        EXPECT_EQ(BatchRanToItsEnd(c.outcome), c.ranToEnd);
        EXPECT_EQ(OpenOutputFolderAfter(c.outcome), c.openFolder);
        const TBatchNotice notice = BatchNoticeOf(c.outcome);
        EXPECT_EQ(notice.Summary, c.summary);
        EXPECT_EQ(notice.Body, c.body);
    }
}

TEST(PowerOff, LoginManagerCommandUnlessReplaced) {
    {
        test::TScopedEnv unset("TESSARO_POWEROFF_COMMAND", nullptr);
        EXPECT_EQ(PowerOffCommand(), (std::vector<std::string>{"systemctl", "poweroff"}));
    }
    test::TScopedEnv replaced("TESSARO_POWEROFF_COMMAND", "touch  /tmp/marker file");
    EXPECT_EQ(PowerOffCommand(), (std::vector<std::string>{"touch", "/tmp/marker", "file"}));
    EXPECT_EQ(ShutDownCountdownText(60), "The computer will shut down in 60 seconds.");
    EXPECT_EQ(ShutDownCountdownText(1), "The computer will shut down in 1 second.");
}

} // namespace
} // namespace tessaro
